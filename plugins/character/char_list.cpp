// The player list that stage 1 writes into the reply body for every recognised action: as
// HTML lines (one per player, the default underlined, the others links that select them)
// or, for the game client, in the compact form N=...&A=...&S=.&E=.; per player.
#include <stdarg.h>
#include <stdio.h>

#include "character.h"
#include "text.h"

namespace omcharacter {
namespace {

constexpr char kGetCharsTag[] = "OMCharacter.dll:GetChars";
constexpr char kSelectPlayers[] =
    "select character.chid, character.name, character.isdefault from character (NOLOCK) where character.cid=%ld "
    "and character.state='A' order by character.name asc ";

constexpr char kDefaultLine[] = "(%ld)  <u>%s</u><br>\r\n";
constexpr char kLinkLine[] =
    "(%ld)  <A HREF=\"%s?success=%s&failure=%s&relay=%s&msgbase=%s&nodb=%s&ib3=%ld&action=select&selectedchid=%ld"
    "&pfid=%ld&charglsvssrequest=%s\">%s</A><br>\r\n";
constexpr char kLinkAddress[] =
    "%s?success=%s&failure=%s&relay=%s&msgbase=%s&nodb=%s&ib3=%ld&action=select&selectedchid=%ld&pfid=%ld"
    "&charglsvssrequest=%s";

constexpr int32_t kCompactNameSize = 512;
constexpr int32_t kCompactAddressSize = 2048;
constexpr int32_t kWriteChunk = 2048;

// One argument of a list line: a text or a number.
struct LineArg {
  const char* text;
  long number;
};

// Writes the reply body through WriteText in chunks, so that a long line is never cut.
class BodyWriter {
 public:
  explicit BodyWriter(HostApi* api) : api_(api) {}
  ~BodyWriter() { flush(); }

  void put(char c) {
    if (used_ >= kWriteChunk - 1) flush();
    buffer_[used_++] = c;
  }
  void text(const char* s) {
    for (; s != nullptr && *s != '\0'; ++s) put(*s);
  }
  // Text inside the HTML of the site's page: a value from a crafted link must not end the
  // attribute or open a tag of its own.
  void attributeText(const char* s) {
    for (; s != nullptr && *s != '\0'; ++s) {
      switch (*s) {
        case '"': text("&quot;"); break;
        case '<': text("&lt;"); break;
        case '>': text("&gt;"); break;
        default: put(*s); break;
      }
    }
  }
  void flush() {
    if (used_ == 0) return;
    buffer_[used_] = '\0';
    api_->WriteText(api_, 1, buffer_);
    used_ = 0;
  }

 private:
  HostApi* api_;
  char buffer_[kWriteChunk];
  int32_t used_ = 0;
};

// Fills a line format whose conversions are only %s and %ld, each text escaped for HTML,
// and writes it as one piece.
template <int32_t N>
void WriteHtmlLine(HostApi* api, const char* format, const LineArg (&args)[N]) {
  BodyWriter out(api);
  int32_t next = 0;
  for (const char* f = format; *f != '\0'; ++f) {
    if (f[0] == '%' && f[1] == 's' && next < N) {
      out.attributeText(args[next++].text);
      f += 1;
    } else if (f[0] == '%' && f[1] == 'l' && f[2] == 'd' && next < N) {
      char number[32];
      snprintf(number, sizeof number, "%ld", args[next++].number);
      out.text(number);
      f += 2;
    } else {
      out.put(*f);
    }
  }
}

// The compact form cuts an over-long link address to its buffer, as it does the name.
__attribute__((format(printf, 3, 4))) void FormatCut(char* output, size_t size, const char* format, ...) {
  va_list args;
  va_start(args, format);
  vsnprintf(output, size, format, args);
  va_end(args);
}

struct PlayerRow {
  int32_t chid;
  char name[om::PageTextSize];
  char isdefault;
};

bool IsDefaultPlayer(const OMCharacter& page, const PlayerRow& row) {
  return (row.isdefault == 'y' || row.isdefault == 'Y') && row.chid == page.login.CharacterId;
}

const char* OwnAddress(const OMCharacter& page) { return page.api->PageUrl != nullptr ? page.api->PageUrl : ""; }

void WriteHtmlRow(const OMCharacter& page, long n, const PlayerRow& row) {
  if (IsDefaultPlayer(page, row)) {
    WriteHtmlLine(page.api, kDefaultLine, {{nullptr, n}, {row.name, 0}});
    return;
  }
  WriteHtmlLine(page.api, kLinkLine,
                {{nullptr, n}, {OwnAddress(page), 0}, {page.success, 0}, {page.failure, 0}, {page.relay, 0},
                 {page.msgbase, 0}, {page.nodb, 0}, {nullptr, page.ib3}, {nullptr, row.chid}, {nullptr, page.pfid},
                 {page.charglsvssrequest, 0}, {row.name, 0}});
}

void WriteCompactRow(const OMCharacter& page, const PlayerRow& row) {
  HostApi* api = page.api;
  char name[kCompactNameSize];
  om::TextCopy(name, row.name, kCompactNameSize);
  om::UrlEncode(name, kCompactNameSize);
  char address[kCompactAddressSize];
  FormatCut(address, sizeof address, kLinkAddress, OwnAddress(page), page.success, page.failure, page.relay,
            page.msgbase, page.nodb, static_cast<long>(page.ib3), static_cast<long>(row.chid),
            static_cast<long>(page.pfid), page.charglsvssrequest);
  om::UrlEncode(address, kCompactAddressSize);

  char piece[kCompactAddressSize + 8];
  snprintf(piece, sizeof piece, "N=%s&", name);
  api->WriteText(api, 1, piece);
  snprintf(piece, sizeof piece, "A=%s&", address);
  api->WriteText(api, 1, piece);
  api->WriteText(api, 1, IsDefaultPlayer(page, row) ? "S=1&E=0" : "S=0&E=1");
  api->WriteText(api, 1, ";");
}

}  // namespace

int32_t OMCharacter::GetChars(om::DbStep& db) {
  om::DbStep step(db, kGetCharsTag);
  step.append(kSelectPlayers, static_cast<long>(login.AccountId));
  if (!step.execute() || !step.nextResult()) return om::kFailed;
  PlayerRow row;
  step.bindInt(&row.chid);
  step.bindText(row.name);
  step.bindChar(&row.isdefault);
  long n = 0;
  step.fetchEach([&] {
    ++n;
    if (ib3 == 1) {
      WriteCompactRow(*this, row);
    } else {
      WriteHtmlRow(*this, n, row);
    }
  });
  step.close();
  return 0;
}

}  // namespace omcharacter
