// Compiled with -m32 only: proves that the host contract, built for 32 bits, puts every
// data word and slot at the byte offset the page server was built for, and that every
// fixed record keeps its size.
#include <cstddef>

#include "host_api.h"

static_assert(sizeof(void*) == 4, "this check is compiled for a 32-bit target");

#define AT(field, offset) static_assert(offsetof(HostApi, field) == (offset), #field " at byte " #offset)
AT(RequestKind, 4);
AT(PageUrl, 12);
AT(ClientAddress, 24);
AT(ClientPort, 28);
AT(RandomRange, 104);
AT(ScreenName, 108);
AT(GetHostNumber, 112);
AT(NoteFailure, 120);
AT(FormatAddress, 124);
AT(DecodeText, 132);
AT(WriteText, 156);
AT(Redirect, 160);
AT(Respond, 164);
AT(SetVar, 168);
AT(GetVar, 172);
AT(OpenKeyedSession, 180);
AT(SetKeyedSessionOption, 184);
AT(CloseKeyedSession, 188);
AT(OpenSession, 192);
AT(SetSessionOption, 196);
AT(CloseSession, 200);
AT(GetSessionVar, 204);
AT(SetSessionVar, 208);
AT(DbOpen, 212);
AT(DbRelease, 216);
AT(DbSetTag, 220);
AT(DbSetQuery, 224);
AT(DbExecute, 232);
AT(DbNextResult, 236);
AT(DbBindColumn, 240);
AT(DbFetch, 244);
AT(DbCloseCursor, 248);
AT(SendMail, 256);
AT(GetServerRecord, 264);
AT(QueueEnter, 272);
AT(QueuePoll, 276);
AT(QueueCancel, 280);
AT(IsDbOffline, 288);
AT(LogEvent, 292);
AT(RegisterHost, 296);
AT(QueryServerAccess, 304);
AT(PostEventRecord, 308);
AT(QueryAccountRecord, 312);
AT(SetAccountCodes, 324);
AT(QueryProductRecord, 340);
AT(EncodeText, 352);
AT(GetFeatureSwitch, 384);
#undef AT
static_assert(sizeof(HostApi) == 388, "the record ends after the last slot");

static_assert(sizeof(PluginInfo) == 132, "PluginInfo");
static_assert(sizeof(EventRecord) == 932, "EventRecord");
static_assert(sizeof(HostRecord) == 2140, "HostRecord");
static_assert(sizeof(ServerRecord) == 55416, "ServerRecord");
static_assert(sizeof(NameValueEntry) == 544, "NameValueEntry");
static_assert(sizeof(ProductRecord) == 2512, "ProductRecord");
static_assert(sizeof(JoinTicketRequest) == 284, "JoinTicketRequest");
static_assert(sizeof(CodeList) == 3204, "CodeList");
