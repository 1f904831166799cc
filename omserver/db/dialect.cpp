// Reading and translating the service's dialect. The statements are tokenised once; a
// batch splits at a statement keyword outside quotes and parentheses (and at "set" when a
// variable follows it, since "set" also begins the column list of an update). Every word
// that is not one of the dialect's keywords or functions is an identifier and reaches
// SQLite double-quoted; literals are copied as the plug-in quoted them; variables,
// @@identity and GETDATE() become bound parameters.
#include "db/dialect.h"

#include <sqlite3.h>

#include <algorithm>
#include <cctype>
#include <charconv>
#include <set>

namespace omserver::db {

std::string ValueText(const Value& value) {
  if (const auto* number = std::get_if<int64_t>(&value)) return std::to_string(*number);
  if (const auto* text = std::get_if<std::string>(&value)) return *text;
  return {};
}

namespace {

std::string Lower(std::string text) {
  for (char& c : text) c = static_cast<char>(std::tolower(static_cast<unsigned char>(c)));
  return text;
}

std::string Upper(std::string text) {
  for (char& c : text) c = static_cast<char>(std::toupper(static_cast<unsigned char>(c)));
  return text;
}

// Parses an optionally signed decimal integer filling the whole text; false otherwise.
bool ParseInteger(const std::string& text, int64_t& out) {
  const char* begin = text.data();
  const char* end = text.data() + text.size();
  if (begin != end && *begin == '+') {
    ++begin;
    if (begin != end && *begin == '-') return false;
  }
  auto [last, error] = std::from_chars(begin, end, out);
  return error == std::errc() && last == end && begin != end;
}

int64_t ToInt32(int64_t value, const std::string& shown) {
  if (value < INT32_MIN || value > INT32_MAX) throw SqlError("arithmetic overflow converting " + shown + " to int");
  return value;
}

}  // namespace

Value ConvertTo(const VarType& type, const Value& value) {
  if (IsNull(value)) return value;
  if (type.kind == VarType::Int) {
    if (const auto* number = std::get_if<int64_t>(&value)) return ToInt32(*number, std::to_string(*number));
    std::string text = std::get<std::string>(value);
    size_t first = text.find_first_not_of(" \t");
    size_t last = text.find_last_not_of(" \t");
    std::string trimmed = first == std::string::npos ? "" : text.substr(first, last - first + 1);
    if (trimmed.empty()) return int64_t{0};  // the service reads an empty text as 0
    int64_t number = 0;
    if (!ParseInteger(trimmed, number)) {
      throw SqlError("conversion failed when converting the varchar value '" + text + "' to data type int");
    }
    return ToInt32(number, "'" + text + "'");
  }
  std::string text = ValueText(value);
  if (text.size() > static_cast<size_t>(type.length)) text.resize(static_cast<size_t>(type.length));
  if (type.kind == VarType::Char && text.size() < static_cast<size_t>(type.length)) text.resize(static_cast<size_t>(type.length), ' ');
  return text;
}

namespace {

struct Token {
  enum Kind { Word, Variable, Number, String, Punct } kind;
  std::string text;  // String: the literal as written, with its quotes
  size_t begin;
  size_t end;
  bool is(const char* word) const { return kind == Word && Lower(text) == word; }
  bool punct(const char* mark) const { return kind == Punct && text == mark; }
};

bool WordStart(char c) { return std::isalpha(static_cast<unsigned char>(c)) || c == '_'; }
bool WordChar(char c) { return std::isalnum(static_cast<unsigned char>(c)) || c == '_'; }

std::string Excerpt(const std::string& text, size_t at) {
  std::string shown = text.substr(at, 24);
  return "\"" + shown + (text.size() > at + 24 ? "..." : "") + "\"";
}

std::vector<Token> Tokenise(const std::string& text) {
  std::vector<Token> tokens;
  size_t i = 0;
  while (i < text.size()) {
    char c = text[i];
    if (c == ' ' || c == '\t' || c == '\r' || c == '\n') {
      ++i;
      continue;
    }
    size_t start = i;
    if (WordStart(c)) {
      while (i < text.size() && WordChar(text[i])) ++i;
      tokens.push_back({Token::Word, text.substr(start, i - start), start, i});
    } else if (c == '@') {
      ++i;
      if (i < text.size() && text[i] == '@') ++i;
      size_t nameStart = i;
      while (i < text.size() && WordChar(text[i])) ++i;
      if (i == nameStart) throw SqlError("a variable without a name at " + Excerpt(text, start));
      tokens.push_back({Token::Variable, Lower(text.substr(start, i - start)), start, i});
    } else if (std::isdigit(static_cast<unsigned char>(c))) {
      while (i < text.size() && std::isdigit(static_cast<unsigned char>(text[i]))) ++i;
      if (i < text.size() && (WordChar(text[i]) || text[i] == '.')) {
        throw SqlError("a number the dialect does not read at " + Excerpt(text, start));
      }
      tokens.push_back({Token::Number, text.substr(start, i - start), start, i});
    } else if (c == '\'') {
      ++i;
      for (;;) {
        if (i >= text.size()) throw SqlError("a text literal without its closing quote at " + Excerpt(text, start));
        if (text[i] == '\'') {
          if (i + 1 < text.size() && text[i + 1] == '\'') {
            i += 2;
            continue;
          }
          ++i;
          break;
        }
        ++i;
      }
      tokens.push_back({Token::String, text.substr(start, i - start), start, i});
    } else {
      std::string two = text.substr(i, 2);
      if (two == "--" || two == "/*") throw SqlError("a comment at " + Excerpt(text, start) + " (comments are outside the dialect)");
      if (two == "<>" || two == "<=" || two == ">=" || two == "!=") {
        i += 2;
        tokens.push_back({Token::Punct, two == "!=" ? std::string("<>") : two, start, i});
      } else if (std::string("(),.*=<>-").find(c) != std::string::npos) {
        ++i;
        tokens.push_back({Token::Punct, std::string(1, c), start, i});
      } else if (c == '+') {
        throw SqlError("'+' at " + Excerpt(text, start) + " (adds numbers but joins texts in the service's dialect; not supported)");
      } else {
        throw SqlError("the character '" + std::string(1, c) + "' at " + Excerpt(text, start) + " is outside the dialect");
      }
    }
  }
  return tokens;
}

bool StartsStatement(const std::vector<Token>& tokens, size_t i) {
  const Token& token = tokens[i];
  if (token.kind != Token::Word) return false;
  std::string word = Lower(token.text);
  if (word == "select" || word == "update" || word == "insert" || word == "delete" || word == "declare" || word == "exec") return true;
  return word == "set" && i + 1 < tokens.size() && tokens[i + 1].kind == Token::Variable;
}

// The words the dialect's select, update, insert and delete statements may use as keywords.
const std::set<std::string> kKeywords = {"from", "where", "and", "or",  "not",  "as",     "left", "inner", "outer",
                                         "join", "on",    "order", "by", "asc", "desc",   "is",   "null",  "in",
                                         "like", "set",   "values", "distinct"};

// The service's date parts the stand-in's date functions know.
const std::set<std::string> kDateParts = {"yy", "yyyy", "year", "mm", "m", "month", "dd", "d", "day",
                                          "hh", "hour", "mi", "n", "minute", "ss", "s", "second"};

class StatementReader {
 public:
  StatementReader(const std::vector<Token>& tokens, size_t begin, size_t end, const std::string& source,
                  std::set<std::string>& declared)
      : t_(tokens), i_(begin), end_(end), source_(source), declared_(declared) {}

  SqlStatement read() {
    SqlStatement statement;
    statement.source = source_;
    std::string word = Lower(t_[i_].text);
    if (word == "declare") return readDeclare(statement);
    if (word == "set") return readSet(statement);
    if (word == "exec") return readExec(statement);
    if (word == "select") {
      statement.kind = StatementKind::Select;
      translate(statement);
    } else if (word == "update") {
      statement.kind = StatementKind::Update;
      ++i_;
      piece("UPDATE");
      piece(identifier(expectWord("a table after update")));
      if (!more() || !t_[i_].is("set")) fail("update without set");
      translate(statement);
    } else if (word == "insert") {
      statement.kind = StatementKind::Insert;
      ++i_;
      if (more() && t_[i_].is("into")) ++i_;
      statement.table = Lower(expectWord("a table after insert"));
      piece("INSERT INTO");
      piece(identifier(statement.table));
      if (!more() || !t_[i_].punct("(")) fail("insert without its column list");
      translate(statement);
    } else {
      statement.kind = StatementKind::Delete;
      ++i_;
      if (more() && t_[i_].is("from")) ++i_;
      piece("DELETE FROM");
      piece(identifier(expectWord("a table after delete")));
      if (more() && !t_[i_].is("where")) fail("delete takes a where clause or nothing after its table");
      translate(statement);
    }
    statement.sqlite = out_;
    return statement;
  }

 private:
  [[noreturn]] void fail(const std::string& why) const { throw SqlError(why); }
  bool more() const { return i_ < end_; }

  std::string expectWord(const char* what) {
    if (!more() || t_[i_].kind != Token::Word) fail(std::string("expected ") + what);
    return t_[i_++].text;
  }

  std::string identifier(const std::string& word) {
    std::string lower = Lower(word);
    if (kKeywords.count(lower) || sqlite3_keyword_check(word.data(), static_cast<int>(word.size()))) {
      fail("the word \"" + word + "\" is outside the dialect");
    }
    return "\"" + word + "\"";
  }

  std::string variable(const Token& token) {
    if (token.text.rfind("@@", 0) == 0) fail("the system variable " + token.text + " is outside the dialect");
    if (!declared_.count(token.text)) fail("must declare the scalar variable " + token.text);
    return token.text;
  }

  void piece(const std::string& text) {
    bool tight = out_.empty() || out_.back() == '(' || out_.back() == '.' || text == ")" || text == "," || text == ".";
    if (!tight) out_ += ' ';
    out_ += text;
  }

  void parameter(SqlStatement& statement, Parameter parameter) {
    statement.parameters.push_back(std::move(parameter));
    piece("?" + std::to_string(statement.parameters.size()));
  }

  // The value of set or of an exec argument: a literal (text, number, NULL) or a variable.
  Operand operand(const char* where) {
    Operand value;
    if (!more()) fail(std::string("expected a value ") + where);
    const Token& token = t_[i_];
    if (token.kind == Token::Variable) {
      value.isVariable = true;
      value.variable = variable(token);
      ++i_;
    } else if (token.kind == Token::String) {
      std::string inner = token.text.substr(1, token.text.size() - 2);
      std::string text;
      for (size_t k = 0; k < inner.size(); ++k) {
        text += inner[k];
        if (inner[k] == '\'') ++k;  // a doubled quote stands for one
      }
      value.literal = text;
      ++i_;
    } else if (token.kind == Token::Number || (token.punct("-") && i_ + 1 < end_ && t_[i_ + 1].kind == Token::Number)) {
      bool negative = token.punct("-");
      if (negative) ++i_;
      int64_t number = 0;
      std::string digits = (negative ? "-" : "") + t_[i_].text;
      if (!ParseInteger(digits, number)) fail("the number " + digits + " is out of range");
      value.literal = number;
      ++i_;
    } else if (token.is("null")) {
      ++i_;
    } else {
      fail(std::string("expected a literal or a variable ") + where + ", not \"" + token.text + "\"");
    }
    return value;
  }

  VarType type() {
    std::string name = Lower(expectWord("a type"));
    VarType type;
    if (name == "int") return type;
    if (name != "varchar" && name != "char") fail("the type " + name + " is outside the dialect (int, varchar(n), char(n))");
    type.kind = name == "varchar" ? VarType::VarChar : VarType::Char;
    if (!more() || !t_[i_].punct("(") || i_ + 2 >= end_ || t_[i_ + 1].kind != Token::Number || !t_[i_ + 2].punct(")")) {
      fail(name + " needs its length, as " + name + "(n)");
    }
    int64_t length = 0;
    if (!ParseInteger(t_[i_ + 1].text, length) || length < 1 || length > 8000) fail("the length of " + name + " must be 1 to 8000");
    type.length = static_cast<int>(length);
    i_ += 3;
    return type;
  }

  SqlStatement readDeclare(SqlStatement& statement) {
    statement.kind = StatementKind::Declare;
    ++i_;
    for (;;) {
      if (!more() || t_[i_].kind != Token::Variable) fail("declare needs a variable");
      std::string name = t_[i_].text;
      if (name.rfind("@@", 0) == 0) fail("cannot declare " + name);
      ++i_;
      if (more() && t_[i_].is("as")) ++i_;
      VarType declaredType = type();
      if (!declared_.insert(name).second) fail("the variable " + name + " has already been declared");
      statement.declarations.emplace_back(name, declaredType);
      if (!more()) break;
      if (!t_[i_].punct(",")) fail("unexpected \"" + t_[i_].text + "\" after a declaration");
      ++i_;
    }
    return statement;
  }

  SqlStatement readSet(SqlStatement& statement) {
    statement.kind = StatementKind::Set;
    ++i_;
    statement.variable = variable(t_[i_++]);
    if (!more() || !t_[i_].punct("=")) fail("set needs \"=\" after its variable");
    ++i_;
    statement.value = operand("after set ... =");
    if (more()) fail("set takes a single literal or variable here, not \"" + t_[i_].text + "\"");
    return statement;
  }

  SqlStatement readExec(SqlStatement& statement) {
    statement.kind = StatementKind::Exec;
    ++i_;
    if (more() && t_[i_].kind == Token::Variable) {
      statement.returnVariable = variable(t_[i_++]);
      if (!more() || !t_[i_].punct("=")) fail("exec needs \"=\" after its return variable");
      ++i_;
    }
    statement.procedure = Lower(expectWord("a procedure name after exec"));
    while (more()) {
      ExecArgument argument;
      if (t_[i_].kind == Token::Variable && i_ + 1 < end_ && t_[i_ + 1].punct("=")) {
        fail("named procedure arguments are outside the dialect");
      }
      argument.value = operand("as a procedure argument");
      if (more() && (t_[i_].is("output") || t_[i_].is("out"))) {
        if (!argument.value.isVariable) fail("only a variable can be passed as output");
        argument.output = true;
        ++i_;
      }
      statement.arguments.push_back(std::move(argument));
      if (!more()) break;
      if (!t_[i_].punct(",")) fail("unexpected \"" + t_[i_].text + "\" among the procedure's arguments");
      ++i_;
    }
    return statement;
  }

  // The body of a select, update, insert or delete from the current token to the end.
  void translate(SqlStatement& statement) {
    struct Limit {
      int depth;
      std::string count;
    };
    std::vector<Limit> limits;
    int depth = 0;
    auto closeLimits = [&](int at) {
      while (!limits.empty() && limits.back().depth == at) {
        piece("LIMIT " + limits.back().count);
        limits.pop_back();
      }
    };
    while (more()) {
      const Token& token = t_[i_];
      bool nextIsParen = i_ + 1 < end_ && t_[i_ + 1].punct("(");
      switch (token.kind) {
        case Token::Word: {
          std::string word = Lower(token.text);
          if (word == "select") {
            piece("SELECT");
            ++i_;
            if (more() && t_[i_].is("top")) {
              if (i_ + 1 >= end_ || t_[i_ + 1].kind != Token::Number) fail("top needs a number");
              limits.push_back({depth, t_[i_ + 1].text});
              i_ += 2;
            }
            continue;
          }
          if (word == "top") fail("top outside the head of a select");
          if (word == "getdate" && nextIsParen) {
            if (i_ + 2 >= end_ || !t_[i_ + 2].punct(")")) fail("GETDATE takes no arguments");
            parameter(statement, {Parameter::Now, {}});
            i_ += 3;
            continue;
          }
          if ((word == "datediff" || word == "datepart") && nextIsParen) {
            if (i_ + 3 >= end_ || t_[i_ + 2].kind != Token::Word || !kDateParts.count(Lower(t_[i_ + 2].text)) ||
                !t_[i_ + 3].punct(",")) {
              fail(word + " needs a date part (yy, mm, dd, hh, mi, ss) as its first argument");
            }
            piece("om_" + word + "('" + Lower(t_[i_ + 2].text) + "',");
            ++depth;
            i_ += 4;
            continue;
          }
          if (word == "count" && nextIsParen) {
            piece("count");
            ++i_;
            continue;
          }
          if (kKeywords.count(word)) {
            piece(Upper(word));
            ++i_;
            continue;
          }
          piece(identifier(token.text));
          ++i_;
          if (nextIsParen) {
            // A table hint after a table or its alias; the stand-in has no locks to skip.
            if (i_ + 2 < end_ && t_[i_ + 1].is("nolock") && t_[i_ + 2].punct(")")) {
              i_ += 3;
              continue;
            }
            fail("\"" + token.text + "(\" is not a function or table hint of the dialect");
          }
          continue;
        }
        case Token::Variable:
          if (token.text == "@@identity") {
            parameter(statement, {Parameter::Identity, {}});
          } else {
            parameter(statement, {Parameter::Variable, variable(token)});
          }
          ++i_;
          continue;
        case Token::Number:
        case Token::String:
          piece(token.text);
          ++i_;
          continue;
        case Token::Punct:
          if (token.text == "(") {
            ++depth;
          } else if (token.text == ")") {
            closeLimits(depth);
            --depth;
          }
          piece(token.text);
          ++i_;
          continue;
      }
    }
    closeLimits(0);
  }

  const std::vector<Token>& t_;
  size_t i_;
  size_t end_;
  const std::string& source_;
  std::set<std::string>& declared_;
  std::string out_;
};

}  // namespace

std::vector<SqlStatement> ParseBatch(const std::string& text) {
  std::vector<Token> tokens = Tokenise(text);
  if (tokens.empty()) throw SqlError("the batch is empty");
  std::vector<std::pair<size_t, size_t>> spans;  // token ranges of the statements
  int depth = 0;
  for (size_t i = 0; i < tokens.size(); ++i) {
    if (depth == 0 && StartsStatement(tokens, i)) {
      if (!spans.empty()) spans.back().second = i;
      spans.emplace_back(i, tokens.size());
    } else if (spans.empty()) {
      throw SqlError("the batch does not begin with a statement: " + Excerpt(text, tokens[i].begin));
    }
    if (tokens[i].punct("(")) ++depth;
    if (tokens[i].punct(")") && --depth < 0) throw SqlError("a \")\" without its \"(\" at " + Excerpt(text, tokens[i].begin));
  }
  if (depth != 0) throw SqlError("a \"(\" without its \")\"");

  std::vector<SqlStatement> statements;
  std::set<std::string> declared;
  for (const auto& [begin, end] : spans) {
    std::string source = text.substr(tokens[begin].begin, tokens[end - 1].end - tokens[begin].begin);
    try {
      statements.push_back(StatementReader(tokens, begin, end, source, declared).read());
    } catch (const SqlError& error) {
      throw SqlError(std::string(error.what()) + " in statement \"" + source + "\"");
    }
  }
  return statements;
}

}  // namespace omserver::db
