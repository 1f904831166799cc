// Every SQL text the plug-ins send, formatted with sample values as the plug-ins format them,
// run through the database slots on the fixture: the number of results each batch gives and
// the rows each step reads from them, and what the writing steps leave in the database.
#include <gtest/gtest.h>

#include "db_client.h"
#include "test_support.h"

namespace omtest {
namespace {

struct QueryCase {
  const char* step;  // also the statement tag
  int32_t database;
  std::vector<std::string> texts;  // one DbSetQuery each
  std::vector<std::string> binds;  // per result: 'i' integer, 't' text, 'c' character
  std::vector<std::string> rows;   // per result: the rows read; a column "*" matches any value
  std::string check = {};          // afterwards, straight on the database file
  std::string checked = {};
};

const char kPersonal[] = "Ann";

std::vector<QueryCase> Cases() {
  return {
      // Account: personal data
      {"OMAccount.dll:GetInfo", 1,
       {Sql("select lv.cid from loginvalue lv (NOLOCK) where lv.cid=%ld and lv.value=%ld select l.fname, l.lname from login l (NOLOCK) where l.cid=%ld and state = 'A' select c.fname, c.minitial, c.lname, c.address1, c.address2, c.city, c.stateprovince, c.postalcode, c.country, c.dayphone, c.nightphone, c.secretquestion, c.secretanswer from customer c (NOLOCK) where c.parentcid=%ld ",
            1L, 1001L, 1L, 1L)},
       {"i", "tt", "ttttttttttttt"},
       {"1", "Alice|Archer", "Alicia|M|Archer|1 Road|Flat 2|Portsea|Hants|PO1|UK|555-1|555-2|pet?|cat"}},
      {"OMAccount.dll:SetInfo1", 1,
       {Sql("select lv.cid from loginvalue lv (NOLOCK) where lv.cid=%ld and lv.value=%ld select l.cid from login l (NOLOCK) where l.cid=%ld and state = 'A' select c.parentcid from customer c (NOLOCK) where c.parentcid=%ld ",
            1L, 999L, 1L, 1L)},
       {"i", "i", "i"},
       {"", "1", "1"}},
      {"OMAccount.dll:SetInfo2", 1,
       {Sql("update login set fname='%s', lname='%s', lastaccess=GETDATE() where cid=%ld ", "O''Neil", "Lee", 1L),
        Sql("update customer set fname = '%s', minitial = '%s', lname = '%s', address1 = '%s', address2 = '%s', city = '%s', stateprovince = '%s', postalcode = '%s', country = '%s', dayphone = '%s', nightphone = '%s', secretquestion = '%s', secretanswer = '%s', lastmodified = GETDATE() where parentcid=%ld ",
            "O''Neil", kPersonal, "Lee", kPersonal, kPersonal, kPersonal, kPersonal, kPersonal, kPersonal, kPersonal,
            kPersonal, kPersonal, "dog", 1L)},
       {"", ""},
       {"", ""},
       "select l.fname, l.lastaccess, c.fname, c.secretanswer, c.lastmodified from login l, customer c where l.cid = 1 and c.parentcid = 1",
       "O'Neil|2026-03-15 12:00:30|O'Neil|dog|2026-03-15 12:00:30"},
      // Account: name, password and address changes
      {"OMAccount.dll:ChangeName1", 1,
       {Sql("select top 1 cid, status from login (NOLOCK) where handle='%s' and password='%s' and state = 'A' ", "ALICE", "pw1"),
        Sql("select chid, om_restrictions_binaryVal from om_assigned_restrictions (NOLOCK) where status = 'A' and cid = (select top 1 cid from login where handle='%s' and password='%s' and state = 'A')",
            "alice", "pw1"),
        Sql("select top 1 cid from login (NOLOCK) where handle='%s' ", "Bob"),
        Sql("select top 1 chid from character (NOLOCK) where name='%s' ", "Bob")},
       {"ic", "ii", "i", "i"},
       {"1|A", "0|16;11|1", "2", ""}},
      {"OMAccount.dll:ChangeName2", 1,
       {Sql("update login set handle = '%s' where cid = %ld ", "alicia", 1L)},
       {""},
       {""},
       "select handle from login where cid = 1",
       "alicia"},
      {"OMAccount.dll:ChangePassword1", 1,
       {Sql("select top 1 cid, status from login (NOLOCK) where handle='%s' and password='%s' and state = 'A' ", "carol", "pw3"),
        Sql("select chid, om_restrictions_binaryVal from om_assigned_restrictions (NOLOCK) where status = 'A' and cid = (select top 1 cid from login where handle='%s' and password='%s' and state = 'A') ",
            "carol", "pw3")},
       {"ic", "ii"},
       {"3|S", ""}},
      {"OMAccount.dll:ChangePassword2", 1,
       {Sql("update login set password = '%s' where cid = %ld ", "newpw", 1L)},
       {""},
       {""},
       "select password from login where cid = 1",
       "newpw"},
      {"OMAccount.dll:ChangeEMail1", 1,
       {Sql("select top 1 cid, status from login (NOLOCK) where handle='%s' and password='%s' and state = 'A' ", "alice", "pw1"),
        Sql("select chid, om_restrictions_binaryVal from om_assigned_restrictions (NOLOCK) where status = 'A' and cid = (select top 1 cid from login where handle='%s' and state = 'A') ",
            "alice"),
        Sql("select top 1 cid from login (NOLOCK) where email='%s' ", "Bob@Example.com")},
       {"ic", "ii", "i"},
       {"1|A", "0|16;11|1", "2"}},
      {"OMAccount.dll:ChangeEMail2", 1,
       {Sql("update login set email = '%s' where cid = %ld ", "new@example.com", 1L)},
       {""},
       {""},
       "select email from login where cid = 1",
       "new@example.com"},
      // Account: new account
      {"OMAccount.dll:NewAccount1", 1,
       {Sql("declare @handle varchar(16) declare @password varchar(16) declare @fname varchar(16) declare @lname varchar(32) declare @email varchar(64) declare @pcid_series char(1) declare @cid int declare @returnvalue int set @handle = '%s' set @password = '%s' set @fname = '%s' set @lname = '%s' set @email = '%s' set @pcid_series = '%s' set @cid = 0 exec @returnvalue = omdll_createlogin @handle, @password, @fname, @lname, @email, @pcid_series, @cid output select @returnvalue, @cid ",
            "erin", "pw5", "Bartholomew-Augustin", "O''Hara", "erin@example.com", "A")},
       {"", "", "", "", "", "", "", "ii"},
       {"", "", "", "", "", "", "", "0|5"},
       "select l.handle, l.fname, l.lname, l.status, l.state, l.activation <> 0, v.whole_pcid from login l, view_PCID v where l.cid = 5 and v.cid = 5",
       "erin|Bartholomew-Augu|O'Hara|P|A|1|A00000005"},
      {"OMAccount.dll:NewAccount1 (name taken by a suspended account)", 1,
       {Sql("declare @handle varchar(16) declare @password varchar(16) declare @fname varchar(16) declare @lname varchar(32) declare @email varchar(64) declare @pcid_series char(1) declare @cid int declare @returnvalue int set @handle = '%s' set @password = '%s' set @fname = '%s' set @lname = '%s' set @email = '%s' set @pcid_series = '%s' set @cid = 0 exec @returnvalue = omdll_createlogin @handle, @password, @fname, @lname, @email, @pcid_series, @cid output select @returnvalue, @cid ",
            "Carol", "pw5", "C", "D", "other@example.com", "A")},
       {"", "", "", "", "", "", "", "ii"},
       {"", "", "", "", "", "", "", "-200500|0"},
       "select count(*) from login",
       "4"},
      {"OMAccount.dll:NewAccount1 (address taken)", 1,
       {Sql("declare @handle varchar(16) declare @password varchar(16) declare @fname varchar(16) declare @lname varchar(32) declare @email varchar(64) declare @pcid_series char(1) declare @cid int declare @returnvalue int set @handle = '%s' set @password = '%s' set @fname = '%s' set @lname = '%s' set @email = '%s' set @pcid_series = '%s' set @cid = 0 exec @returnvalue = omdll_createlogin @handle, @password, @fname, @lname, @email, @pcid_series, @cid output select @returnvalue, @cid ",
            "frank", "pw6", "F", "G", "SHARED@example.COM", "A")},
       {"", "", "", "", "", "", "", "ii"},
       {"", "", "", "", "", "", "", "-200501|0"}},
      {"OMAccount.dll:NewAccount2", 1,
       {Sql("insert into customer  (parentcid, fname, minitial, lname, address1, address2, city, stateprovince, country, postalcode, last4cc, secretquestion, secretanswer, creationdate, lastmodified )  values  (%ld, '%s', '%s', '%s', '%s', '%s', '%s', '%s', '%s', '%s', '%s', '%s', '%s', GETDATE(), GETDATE()) update login set lastaccess=GETDATE(), parentcid=%ld where cid=%ld ",
            2L, "Bob", "", "Baker", "2 Lane", "", "Leeds", "", "UK", "LS1", "", "q", "a", 2L, 2L)},
       {"", ""},
       {"", ""},
       "select c.fname, c.country, c.postalcode, c.last4cc, c.creationdate, l.parentcid from customer c, login l where c.parentcid = 2 and l.cid = 2",
       "Bob|UK|LS1||2026-03-15 12:00:30|2"},
      // Account: forgotten data, activation, deletion
      {"OMAccount.dll:Forgot", 1,
       {Sql("select cid, activation, status, handle, password, email from login (NOLOCK) where email='%s' and state = 'A' ", "Shared@Example.com")},
       {"iictt" "t"},
       {"3|0|S|carol|pw3|shared@example.com;4|0|A|dave|pw4|shared@example.com"}},
      {"OMAccount.dll:ActivateAccount1", 1,
       {Sql("select top 1 cid, status, activation from login (NOLOCK) where email='%s' and state = 'A' ", "bob@example.com")},
       {"ici"},
       {"2|P|4321"}},
      {"OMAccount.dll:ActivateAccount2", 1,
       {Sql("update login set activation = 0, status = 'A', lastaccess = GETDATE() where cid = %d ", 2)},
       {""},
       {""},
       "select activation, status, lastaccess from login where cid = 2",
       "0|A|2026-03-15 12:00:30"},
      {"OMAccount.dll:DelAccount1", 1,
       {Sql("select cid, email, status from login (NOLOCK) where handle = '%s' and password = '%s' and state = 'A' ", "alice", "PW1")},
       {"itc"},
       {"1|alice@example.com|A"}},
      {"OMAccount.dll:DelAccount2", 1,
       {Sql("select chid, om_restrictions_binaryVal from om_assigned_restrictions (NOLOCK) where status = 'A' and cid = %ld ", 1L)},
       {"ii"},
       {"0|16;11|1"}},
      {"OMAccount.dll:DelAccount3", 1,
       {Sql("update login set status = 'D' where cid = %ld ", 1L), Sql("DELETE loginvalue WHERE cid = %ld ", 1L)},
       {"", ""},
       {"", ""},
       "select status, (select count(*) from loginvalue) from login where cid = 1",
       "D|0"},
      // Account: terms of service and the hand-off to the web site
      {"OMAccount.dll:AgreeToTerms1", 1,
       {Sql("select cid from continueloginvalue (NOLOCK) where cid = %ld and value = %ld and datediff(mi, dateset, GETDATE()) <= 60 ", 1L, 7007L)},
       {"i"},
       {"1"}},
      {"OMAccount.dll:AgreeToTerms1 (token 61 minutes old)", 1,
       {Sql("select cid from continueloginvalue (NOLOCK) where cid = %ld and value = %ld and datediff(mi, dateset, GETDATE()) <= 60 ", 1L, 7008L)},
       {"i"},
       {""}},
      {"OMAccount.dll:AgreeToTerms2", 1,
       {Sql("declare @cid int declare @revision int declare @returnvalue int set @cid = %ld set @revision = %ld exec @returnvalue = sp_EULA_Set_Accepted_By_CID @cid, @revision select @returnvalue ", 1L, 3L)},
       {"", "", "i"},
       {"", "", "0"},
       "select cid, revision, accepted from eula_accepted",
       "1|3|2026-03-15 12:00:30"},
      {"OMAccount.dll:AgreeToTerms2 (unknown account)", 1,
       {Sql("declare @cid int declare @revision int declare @returnvalue int set @cid = %ld set @revision = %ld exec @returnvalue = sp_EULA_Set_Accepted_By_CID @cid, @revision select @returnvalue ", 77L, 3L)},
       {"", "", "i"},
       {"", "", "-1"}},
      {"OMAccount.dll:GoToOmCom1", 1,
       {Sql("select l.cid, lv.value, ch.chid from login l (NOLOCK), loginvalue lv (NOLOCK), character ch (NOLOCK) where l.cid = lv.cid and l.status = 'A' and l.cid = %ld and lv.value = %ld and ch.cid = l.cid and ch.chid = %ld and ch.state = 'A' ", 1L, 1001L, 10L)},
       {"iii"},
       {"1|1001|10"}},
      {"OMAccount.dll:GoToOmCom1 (deleted player)", 1,
       {Sql("select l.cid, lv.value, ch.chid from login l (NOLOCK), loginvalue lv (NOLOCK), character ch (NOLOCK) where l.cid = lv.cid and l.status = 'A' and l.cid = %ld and lv.value = %ld and ch.cid = l.cid and ch.chid = %ld and ch.state = 'A' ", 1L, 1001L, 12L)},
       {"iii"},
       {""}},
      {"OMAccount.dll:GoToOmCom2", 1,
       {Sql("declare @cid int declare @chid int declare @pfid int declare @seq int declare @sanity int declare @returnvalue int set @cid = %ld set @chid = %ld set @pfid = %ld set @seq = 0 set @sanity = 0 exec @returnvalue = sp_gotoomcom_AddEntry @cid, @chid, @pfid, @seq output, @sanity output select @returnvalue, @seq, @sanity ", 1L, 10L, 27L)},
       {"", "", "", "", "", "iii"},
       {"", "", "", "", "", "0|1|*"},
       "select seq, cid, chid, pfid, sanity > 0 from gotoomcom",
       "1|1|10|27|1"},
      // Character: login check, list, selection
      {"OMCharacter.dll:VerifyInfo", 1,
       {Sql("select lv.cid, lv.value from loginvalue lv (NOLOCK), login l (NOLOCK) where lv.cid=%ld and l.cid = lv.cid and l.status = 'A' and lv.value=%ld ", 1L, 1001L)},
       {"ii"},
       {"1|1001"}},
      {"OMCharacter.dll:GetChars", 1,
       {Sql("select character.chid, character.name, character.isdefault from character (NOLOCK) where character.cid=%ld and character.state='A' order by character.name asc ", 1L)},
       {"itc"},
       {"13|bear|n;10|Fox|y;11|Wren|n"}},
      {"OMCharacter.dll:SelectChar1", 1,
       {Sql("select top 1 character.chid, character.name from character (NOLOCK) where character.cid=%ld and character.state='A' and character.chid=%ld ", 1L, 11L)},
       {"it"},
       {"11|Wren"}},
      {"OMCharacter.dll:SelectChar2", 1,
       {Sql("update character set isdefault='n' where cid=%ld and state = 'A' and chid <> %ld update character set isdefault='y' where chid=%ld and state='A' ", 1L, 11L, 11L)},
       {"", ""},
       {"", ""},
       "select chid, isdefault from character order by chid",
       "10|n;11|y;12|n;13|n"},
      // Character: creation
      {"OMCharacter.dll:CheckCharName", 1,
       {Sql("select character.chid from character (NOLOCK) where character.name = '%s' ", "ASH"),
        Sql("select count(*) from character (NOLOCK) where character.cid = %ld and state='A' ", 1L),
        Sql("select count(*) from login (NOLOCK) where handle='%s' and cid<>%d ", "Bob", 1)},
       {"i", "i", "i"},
       {"12", "3", "1"}},
      {"OMCharacter.dll:NewChar", 1,
       {Sql("insert character (cid, name, isdefault, created, lastused) values (%ld, '%s', 'n', GETDATE(), GETDATE()) select @@identity ", 1L, "O''Brien")},
       {"", "i"},
       {"", "14"},
       "select chid, name, isdefault, state, created from character where chid = 14",
       "14|O'Brien|n|A|2026-03-15 12:00:30"},
      {"OMCharacter.dll:AddToOldCharNew", 1,
       {Sql("insert oldcharacters (cid, chid, oldname, newname, changedate) values (%ld, %ld, '%s', '%s', GETDATE()) ", 1L, 14L, "", "Kite")},
       {""},
       {""},
       "select cid, chid, oldname, newname, changedate from oldcharacters where chid = 14",
       "1|14||Kite|2026-03-15 12:00:30"},
      // Character: renaming
      {"OMCharacter.dll:GetRenameInfo", 1,
       {Sql("select chid, om_restrictions_binaryVal from om_assigned_restrictions (NOLOCK) where status = 'A' and cid = %ld ", 1L),
        Sql("select chid from character (NOLOCK) where name='%s' ", "wren"),
        Sql("select chid from character (NOLOCK) where cid=%ld and chid=%ld and state='A' and (isdefault='y' or isdefault='Y') ", 1L, 10L),
        Sql("select count(*) from oldcharacters (NOLOCK) where chid=%ld and oldname<>'' and newname<>'' and datepart(yy,oldcharacters.changedate)=datepart(yy,GETDATE()) and datepart(mm,oldcharacters.changedate)=datepart(mm,GETDATE()) ", 10L)},
       {"ii", "i", "i", "i"},
       {"0|16;11|1", "11", "10", "1"}},
      // Character: deletion
      {"OMCharacter.dll:GetDelInfo", 1,
       {Sql("select chid, om_restrictions_binaryVal from om_assigned_restrictions (NOLOCK) where status = 'A' and cid = %ld ", 1L),
        Sql("select chid from character (NOLOCK) where cid=%ld and chid=%ld and state='A' and (isdefault='y' or isdefault='Y') ", 1L, 10L),
        Sql("select top 1 chid, name from character (NOLOCK) where cid=%ld and chid<>%ld and state='A' and (isdefault='n' or isdefault='N') order by chid desc ", 1L, 10L),
        Sql("select top 1 cid, chid from primarycharacter (NOLOCK) where cid=%ld and chid=%ld ", 1L, 10L)},
       {"ii", "i", "it", "ii"},
       {"0|16;11|1", "10", "13|bear", "1|10"}},
      {"OMCharacter.dll:DelChar", 1,
       {Sql("delete character where cid=%ld and chid=%ld and state ='A' insert oldcharacters (cid, chid, oldname, newname, changedate) values (%ld, %ld, '%s', '', GETDATE()) update character set isdefault='n' where cid=%ld and state='A' and chid<>%ld update character set isdefault='y' where chid=%ld and state='A' ",
            1L, 10L, 1L, 10L, "Fox", 1L, 13L, 13L)},
       {"", "", "", ""},
       {"", "", "", ""},
       "select group_concat(chid || isdefault, ',') from character union all "
       "select oldname || '>' || newname || '@' || changedate from oldcharacters where chid = 10 and newname = ''",
       "11n,12n,13y;Fox>@2026-03-15 12:00:30"},
      // Statistics: server criteria and rank
      {"OMCharacter.dll:FetchCharGLSVSSData", 6,
       {Sql("declare @pload varchar(32) declare @expansion varchar(32) declare @cid int declare @chid int declare @varname varchar(32) declare @varvalue int declare @returnvalue int set @pload = '%s' set @expansion = '%s' set @cid = %ld set @chid = %ld set @varname = '%s' set @varvalue = %ld exec @returnvalue = sp_STATS_PLAYER_GET_Server_Criteria_Base @pload, @expansion, @cid, @chid, @varname, @varvalue output select @returnvalue, @varvalue ",
            "GX", "X1", 1L, 10L, "kills", 0L)},
       {"", "", "", "", "", "", "ii"},
       {"", "", "", "", "", "", "0|120"}},
      {"OMJoin.dll:FetchGXStatRestrictVars (unknown variable)", 6,
       {Sql("declare @pload varchar(32) declare @expansion varchar(32) declare @cid int declare @chid int declare @varname varchar(32) declare @varvalue int declare @returnvalue int set @pload = '%s' set @expansion = '%s' set @cid = %ld set @chid = %ld set @varname = '%s' set @varvalue = %ld exec @returnvalue = sp_STATS_PLAYER_GET_Server_Criteria_Base @pload, @expansion, @cid, @chid, @varname, @varvalue output select @returnvalue, @varvalue ",
            "GX", "X1", 1L, 10L, "RANK", 0L)},
       {"", "", "", "", "", "", "ii"},
       {"", "", "", "", "", "", "-2|0"}},
      {"OMJoin.dll:FetchGXStatRestrictVars (unknown player)", 7,
       {Sql("declare @pload varchar(32) declare @expansion varchar(32) declare @cid int declare @chid int declare @varname varchar(32) declare @varvalue int declare @returnvalue int set @pload = '%s' set @expansion = '%s' set @cid = %ld set @chid = %ld set @varname = '%s' set @varvalue = %ld exec @returnvalue = sp_STATS_PLAYER_GET_Server_Criteria_Base @pload, @expansion, @cid, @chid, @varname, @varvalue output select @returnvalue, @varvalue ",
            "GX", "X1", 1L, 10L, "KILLS", 0L)},
       {"", "", "", "", "", "", "ii"},
       {"", "", "", "", "", "", "-1|0"}},
      {"OMJoin.dll:FetchGXStatRank", 6,
       {Sql("declare @PLoad varchar(32) declare @Expansion varchar(32) declare @CID int declare @Rank_ID int declare @returnvalue int set @PLoad = '%s' set @Expansion = '%s' set @CID = %ld set @Rank_ID = 0 exec @returnvalue = sp_STATS_PLAYER_Get_High_Water_Mark2 @PLoad, @Expansion, @CID, @Rank_ID output select @returnvalue, @Rank_ID ",
            "gx", "x1", 1L)},
       {"", "", "", "", "ii"},
       {"", "", "", "", "0|7"}},
      {"OMJoin.dll:FetchGXStatRank (title form)", 6,
       {Sql("declare @Title_ID int declare @CID int declare @Rank_ID int declare @returnvalue int set @Title_ID = %ld set @CID = %ld set @Rank_ID = 0 exec @returnvalue = sp_STATS_PLAYER_Get_High_Water_Mark @Title_ID, @CID, @Rank_ID output select @returnvalue, @Rank_ID ",
            27L, 1L)},
       {"", "", "", "ii"},
       {"", "", "", "0|5"}},
      {"OMJoin.dll:FetchGXStatRank (no rank)", 6,
       {Sql("declare @Title_ID int declare @CID int declare @Rank_ID int declare @returnvalue int set @Title_ID = %ld set @CID = %ld set @Rank_ID = 0 exec @returnvalue = sp_STATS_PLAYER_Get_High_Water_Mark @Title_ID, @CID, @Rank_ID output select @returnvalue, @Rank_ID ",
            28L, 1L)},
       {"", "", "", "ii"},
       {"", "", "", "-1|0"}},
      // Join: the account check, one DbSetQuery per statement
      {"OMJoin.dll:VerifyUserInfo", 1,
       {Sql("select parentcid, handle, status, fname, lname, email from login (NOLOCK) where cid = %ld and state = 'A' ", 1L),
        Sql("select value from loginvalue (NOLOCK) where cid = %ld and value = %ld ", 1L, 1001L),
        Sql("select chid, name from character (NOLOCK) where cid = %ld and chid = %ld and state = 'A' ", 1L, 10L),
        Sql("select chid, om_restrictions_binaryVal from om_assigned_restrictions (NOLOCK) where status = 'A' and cid = %ld ", 1L),
        Sql("select whole_pcid from view_PCID (NOLOCK) where cid = %ld ", 1L),
        Sql("SELECT m.squid, s.name, s.abbrev, s.deco FROM omsquadmember AS m (NOLOCK) LEFT JOIN omsquad s ON (s.squid=m.squid) WHERE m.chid = %ld ", 10L),
        Sql("select accesscode from AccessCodeAssignment aca, accesscode ac where aca.cid=%ld and ac.AccessCodeID=aca.AccessCodeID ", 1L)},
       {"itcttt", "i", "it", "ii", "t", "itti", "t"},
       {"0|alice|A|Alice|Archer|alice@example.com", "1001", "10|Fox", "0|16;11|1", "A00000001", "5|Night Owls|NO|9",
        "alpha;Beta"}},
      {"OMJoin.dll:VerifyUserInfo (no squad, no pc id)", 1,
       {Sql("select whole_pcid from view_PCID (NOLOCK) where cid = %ld ", 4L),
        Sql("SELECT m.squid, s.name, s.abbrev, s.deco FROM omsquadmember AS m (NOLOCK) LEFT JOIN omsquad s ON (s.squid=m.squid) WHERE m.chid = %ld ", 11L)},
       {"t", "itti"},
       {"", ""}},
      // Join: the statistics ticket
      {"OMJoin.dll:InsertStatTicket", 2,
       {Sql("insert into statticket (statticketvalue, cid, pfid, handle, chid, name, created, state, datestatechanged, MiscFlags) values (%ld, %ld, %ld, '%s', %ld, '%s', GETDATE(), 'A', GETDATE(), %ld) select @@identity ",
            8388607L, 1L, 27L, "o''neil", 10L, "Fox[NO]", 1L)},
       {"", "i"},
       {"", "1"},
       "select statticketid, statticketvalue, cid, pfid, handle, chid, name, created, state, datestatechanged, MiscFlags from statticket",
       "1|8388607|1|27|o'neil|10|Fox[NO]|2026-03-15 12:00:30|A|2026-03-15 12:00:30|1"},
  };
}

bool RowsMatch(const std::string& expected, const std::string& actual) {
  if (expected.find('*') == std::string::npos) return expected == actual;
  // Column by column, "*" matching any value.
  auto split = [](const std::string& text, char mark) {
    std::vector<std::string> parts;
    size_t start = 0;
    for (size_t at; (at = text.find(mark, start)) != std::string::npos; start = at + 1) parts.push_back(text.substr(start, at - start));
    parts.push_back(text.substr(start));
    return parts;
  };
  auto want = split(expected, '|'), got = split(actual, '|');
  if (want.size() != got.size()) return false;
  for (size_t i = 0; i < want.size(); ++i) {
    if (want[i] != "*" && want[i] != got[i]) return false;
  }
  return true;
}

TEST(PluginQueries, EveryTextGivesTheResultsAndRowsItsStepReads) {
  for (const QueryCase& c : Cases()) {
    SCOPED_TRACE(c.step);
    TempDir dir;
    omserver::Host host(dir.path());
    LoadFixture(host);
    DbClient client(host);
    ASSERT_EQ(c.binds.size(), c.rows.size());
    StepOutcome outcome = RunStep(client.api(), c.database, c.step, c.texts, c.binds);
    EXPECT_EQ(outcome.failedAt, "") << (client.log().empty() ? "" : client.log().back());
    EXPECT_EQ(outcome.execute, 0);
    ASSERT_EQ(outcome.results.size(), c.rows.size());
    for (size_t r = 0; r < c.rows.size(); ++r) {
      EXPECT_TRUE(RowsMatch(c.rows[r], outcome.results[r]))
          << "result " << r + 1 << ": expected \"" << c.rows[r] << "\", read \"" << outcome.results[r] << "\"";
    }
    EXPECT_FALSE(outcome.extraResult) << "the batch gave more results than the step reads";
    if (!c.check.empty()) {
      EXPECT_EQ(Query(host, c.database, c.check), c.checked);
    }
    // The only line a correct step leaves is the note that the batch has no further result.
    for (const std::string& line : client.finish()) {
      EXPECT_NE(line.find("no further result"), std::string::npos) << line;
    }
  }
}

}  // namespace
}  // namespace omtest
