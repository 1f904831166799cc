// The host contract: the HostApi record that the page server hands to Body with every
// request, the C signature of every slot, and the fixed records that cross the boundary.
//
// The record is a sequence of machine words. The word of a slot is its byte offset in the
// record of the original 32-bit page server divided by 4; the order of this struct is the
// ABI, so a slot never moves and words that no plug-in uses stay in place as null words.
// On a 32-bit build every byte offset is the original one; on x86-64 each is doubled.
//
// Plug-ins and the stand-in page server (omserver/) both include this header and nothing
// else of each other.
#ifndef OM_FRAMEWORK_HOST_API_H
#define OM_FRAMEWORK_HOST_API_H

#include <stddef.h>
#include <stdint.h>

#ifdef __cplusplus
extern "C" {
#endif

typedef struct HostApi HostApi;
typedef struct SessionHandle SessionHandle;  // host-owned; plug-ins read byte 13 (IsNew) only
typedef struct DbHandle DbHandle;            // host-owned, opaque
typedef struct EventRecord EventRecord;
typedef struct HostRecord HostRecord;
typedef struct ServerRecord ServerRecord;
typedef struct JoinTicketRequest JoinTicketRequest;
typedef struct CodeList CodeList;
typedef struct ProductRecord ProductRecord;

// Scopes of GetVar and SetVar: a bit mask of request sources, or cookies, or reply variables.
enum {
  ScopeSource1 = 1,   // variables the host supplies with the request (configuration, launcher)
  ScopeSource2 = 2,   // the query string
  ScopeSource4 = 4,   // the form body
  ScopeRequest = 6,   // the ordinary request variables of a page
  ScopeCookie = 8,    // GetVar: a cookie of the request; SetVar: a cookie of the reply
  ScopeReply = 64     // SetVar only: a variable the reply shows to its reader
};

// Byte of a SessionHandle that is non-zero when this request created the session.
enum { SessionIsNewOffset = 13 };

// Column types of DbBindColumn.
enum { DbColumnText = 1, DbColumnChar = 2, DbColumnInt = 4 };

// A data word holding a 32-bit integer: the value in the word's first four bytes, the rest zero.
typedef union HostIntWord {
  int32_t value;
  void* word;
} HostIntWord;

// ---- Slot signatures, grouped as the host groups its services --------------------------
// Game-server services, checks and ciphering
typedef int32_t (*RandomRangeFn)(HostApi* api, int32_t low, int32_t high);
typedef int32_t (*ScreenNameFn)(HostApi* api, const char* name);
typedef int32_t (*GetHostNumberFn)(HostApi* api);
typedef int32_t (*NoteFailureFn)(HostApi* api);
typedef int32_t (*FormatAddressFn)(HostApi* api, int32_t address, int32_t port, char* buffer, int32_t bufferSize);
typedef int32_t (*DecodeTextFn)(HostApi* api, char* text, const char* key);
// Reply body, replies and variables
typedef int32_t (*WriteTextFn)(HostApi* api, int32_t one, const char* text);
typedef int32_t (*RedirectFn)(HostApi* api, const char* word, const char* url, int32_t zero);
typedef int32_t (*RespondFn)(HostApi* api, const char* word, const char* msgbase, int32_t code, const char* text, const char* target, int32_t delay);
typedef int32_t (*SetVarFn)(HostApi* api, int32_t scope, const char* name, const char* value);
typedef int32_t (*GetVarFn)(HostApi* api, int32_t scope, const char* name, char* buffer, int32_t bufferSize);
// Keyed sessions and sessions
typedef SessionHandle* (*OpenKeyedSessionFn)(HostApi* api, const char* tag, const char* key, int32_t two, int32_t* status);
typedef int32_t (*SetKeyedSessionOptionFn)(SessionHandle* session, int32_t option, int32_t value);
typedef int32_t (*CloseKeyedSessionFn)(SessionHandle* session, int32_t zero);
typedef SessionHandle* (*OpenSessionFn)(HostApi* api, const char* tag, const char* cookieName);
typedef int32_t (*SetSessionOptionFn)(SessionHandle* session, int32_t option, int32_t value);
typedef int32_t (*CloseSessionFn)(SessionHandle* session, int32_t end);
typedef int32_t (*GetSessionVarFn)(SessionHandle* session, const char* name, char* buffer, int32_t bufferSize);
typedef int32_t (*SetSessionVarFn)(SessionHandle* session, const char* name, const char* value);
// Databases
typedef DbHandle* (*DbOpenFn)(HostApi* api, int32_t database, int32_t* error);
typedef int32_t (*DbReleaseFn)(DbHandle* db);
typedef int32_t (*DbSetTagFn)(DbHandle* db, const char* tag, int32_t one, int32_t zero);
typedef int32_t (*DbSetQueryFn)(DbHandle* db, const char* sql);
typedef int32_t (*DbExecuteFn)(DbHandle* db);
typedef int32_t (*DbNextResultFn)(DbHandle* db, int32_t* out1, int32_t* out2, int32_t zero);
typedef int32_t (*DbBindColumnFn)(DbHandle* db, int32_t type, int32_t size, void* target);
typedef int32_t (*DbFetchFn)(DbHandle* db);
typedef int32_t (*DbCloseCursorFn)(DbHandle* db);
// Mail, game servers, waiting line, logs, host registry, access, records
typedef int32_t (*SendMailFn)(HostApi* api, const char* to, const char* subject, const char* body);
typedef int32_t (*GetServerRecordFn)(HostApi* api, ServerRecord* record);
typedef int32_t (*QueueEnterFn)(HostApi* api, char* ticket, int32_t ticketSize);
typedef int32_t (*QueuePollFn)(HostApi* api, const char* ticket, int32_t serverId, int32_t* state, int32_t* position, int32_t* third);
typedef int32_t (*QueueCancelFn)(HostApi* api, const char* ticket, int32_t serverId);
typedef int32_t (*IsDbOfflineFn)(HostApi* api);
typedef int32_t (*LogEventFn)(HostApi* api, int32_t accountId, int32_t characterId, const char* tag, const char* detail);
typedef int32_t (*RegisterHostFn)(HostApi* api, HostRecord* record);
typedef int32_t (*QueryServerAccessFn)(HostApi* api, const char* text, int32_t* status, int32_t* other);
typedef int32_t (*PostEventRecordFn)(HostApi* api, EventRecord* record);
typedef int32_t (*QueryAccountRecordFn)(HostApi* api, JoinTicketRequest* record);
typedef int32_t (*SetAccountCodesFn)(HostApi* api, CodeList* codes);
typedef int32_t (*QueryProductRecordFn)(HostApi* api, ProductRecord* record);
typedef int32_t (*EncodeTextFn)(HostApi* api, const char* source, char* destination, int32_t destinationSize, const char* key);
typedef int32_t (*GetFeatureSwitchFn)(HostApi* api, int32_t feature, int32_t* enabled);

// ---- The record: 97 words. The comment of each line is its word (original byte offset) ----
struct HostApi {
  void* unused0;                                   //  0 (0)
  HostIntWord RequestKind;                         //  1 (4)    1 browser page, 2 reply-variable caller
  void* unused2;                                   //  2 (8)
  const char* PageUrl;                             //  3 (12)   address of the plug-in's own page
  void* unused4[2];                                //  4 (16)
  HostIntWord ClientAddress;                       //  6 (24)   IPv4, first octet in the top byte
  HostIntWord ClientPort;                          //  7 (28)
  void* unused8[18];                               //  8 (32)
  RandomRangeFn RandomRange;                       // 26 (104)
  ScreenNameFn ScreenName;                         // 27 (108)
  GetHostNumberFn GetHostNumber;                   // 28 (112)
  void* unused29;                                  // 29 (116)
  NoteFailureFn NoteFailure;                       // 30 (120)
  FormatAddressFn FormatAddress;                   // 31 (124)
  void* unused32;                                  // 32 (128)
  DecodeTextFn DecodeText;                         // 33 (132)
  void* unused34[5];                               // 34 (136)
  WriteTextFn WriteText;                           // 39 (156)
  RedirectFn Redirect;                             // 40 (160)
  RespondFn Respond;                               // 41 (164)
  SetVarFn SetVar;                                 // 42 (168)
  GetVarFn GetVar;                                 // 43 (172)
  void* unused44;                                  // 44 (176)
  OpenKeyedSessionFn OpenKeyedSession;             // 45 (180)
  SetKeyedSessionOptionFn SetKeyedSessionOption;   // 46 (184)
  CloseKeyedSessionFn CloseKeyedSession;           // 47 (188)
  OpenSessionFn OpenSession;                       // 48 (192)
  SetSessionOptionFn SetSessionOption;             // 49 (196)
  CloseSessionFn CloseSession;                     // 50 (200)
  GetSessionVarFn GetSessionVar;                   // 51 (204)
  SetSessionVarFn SetSessionVar;                   // 52 (208)
  DbOpenFn DbOpen;                                 // 53 (212)
  DbReleaseFn DbRelease;                           // 54 (216)
  DbSetTagFn DbSetTag;                             // 55 (220)
  DbSetQueryFn DbSetQuery;                         // 56 (224)
  void* unused57;                                  // 57 (228)
  DbExecuteFn DbExecute;                           // 58 (232)
  DbNextResultFn DbNextResult;                     // 59 (236)
  DbBindColumnFn DbBindColumn;                     // 60 (240)
  DbFetchFn DbFetch;                               // 61 (244)
  DbCloseCursorFn DbCloseCursor;                   // 62 (248)
  void* unused63;                                  // 63 (252)
  SendMailFn SendMail;                             // 64 (256)
  void* unused65;                                  // 65 (260)
  GetServerRecordFn GetServerRecord;               // 66 (264)
  void* unused67;                                  // 67 (268)
  QueueEnterFn QueueEnter;                         // 68 (272)
  QueuePollFn QueuePoll;                           // 69 (276)
  QueueCancelFn QueueCancel;                       // 70 (280)
  void* unused71;                                  // 71 (284)
  IsDbOfflineFn IsDbOffline;                       // 72 (288)
  LogEventFn LogEvent;                             // 73 (292)
  RegisterHostFn RegisterHost;                     // 74 (296)
  void* unused75;                                  // 75 (300)
  QueryServerAccessFn QueryServerAccess;           // 76 (304)
  PostEventRecordFn PostEventRecord;               // 77 (308)
  QueryAccountRecordFn QueryAccountRecord;         // 78 (312)
  void* unused79[2];                               // 79 (316)
  SetAccountCodesFn SetAccountCodes;               // 81 (324)
  void* unused82[3];                               // 82 (328)
  QueryProductRecordFn QueryProductRecord;         // 85 (340)
  void* unused86[2];                               // 86 (344)
  EncodeTextFn EncodeText;                         // 88 (352)
  void* unused89[7];                               // 89 (356)
  GetFeatureSwitchFn GetFeatureSwitch;             // 96 (384)
};

enum { HostApiWordCount = 97 };

// ---- Fixed records: no pointers, the same layout on every build -------------------------

// Filled by GetPluginInfo.
typedef struct PluginInfo {
  int32_t interfaceId;   // 73 in every plug-in
  char version[64];
  char built[64];
} PluginInfo;

enum { PluginInterfaceId = 73 };

// Posted after account changes, character changes and joins.
struct EventRecord {
  int32_t accountId;
  int32_t eventCode;
  int32_t loginValue;
  char accountName[32];
  char firstName[32];
  char lastName[32];
  char email[128];
  int32_t characterId;
  char characterName[32];
  int32_t clientAddress;
  int32_t clientPort;
  int32_t pfid;
  int32_t pfid2;
  char pcid[64];
  int32_t featureMask;
  char source[64];
  char userIdText[512];
};

// Given to RegisterHost; the plug-in fills the first four fields, the host status and hostKey.
struct HostRecord {
  int32_t accountId;
  int32_t loginValue;
  int32_t pfid;
  int32_t characterId;
  char reserved16[64];
  int32_t reserved80;
  int32_t status;
  int32_t reserved88;
  char hostKey[2048];
};

// One named server variable of a ServerRecord.
typedef struct NameValueEntry {
  char name[32];
  char value[512];
} NameValueEntry;

enum { ServerValueCapacity = 100 };

// Describes one game server; the plug-in passes rid, gsid and the value names it wants.
struct ServerRecord {
  int32_t rid;
  char gsid[128];
  int32_t found;
  char reserved136[64];
  int32_t ownServer;
  int32_t affiliateServer;
  int32_t reserved208;
  int32_t statsRequired;
  int32_t queued;
  int32_t reserved220;
  int32_t pfidOverride;
  int32_t pfid2Override;
  char reserved232[536];
  char accessText[68];
  int32_t loginRequired;
  int32_t accessCodesRequired;
  int32_t ticketRequired;
  int32_t reserved848[2];
  int32_t pageIdRequired;
  int32_t serverAddress;
  int32_t serverPort;
  char serverName[40];
  int32_t appId;
  int32_t baffleAddress;
  int32_t bafflePort;
  int32_t baffleKey;
  int32_t reserved924;
  int32_t scrambleKey;
  int32_t reserved932[2];
  int32_t count;
  NameValueEntry values[ServerValueCapacity];
  char reserved55344[68];
  int32_t lanOnly;
};

// The join-ticket request of QueryAccountRecord.
struct JoinTicketRequest {
  int32_t accountId;
  int32_t loginValue;
  int32_t characterId;
  char userId[128];
  int32_t rid;
  int32_t serverAddress;
  int32_t serverPort;
  int32_t status;
  char ticket[128];
};

enum { CodeListCapacity = 100, CodeNameSize = 32 };

// An account's access-code list as SetAccountCodes receives it.
struct CodeList {
  char names[CodeListCapacity][CodeNameSize];
  int32_t count;
};

enum { ProductEntryCapacity = 16 };

typedef struct ProductEntry {
  int32_t pfid;
  int32_t features;
  char reserved[128];
} ProductEntry;

// The product record of QueryProductRecord: the family in, up to 16 feature entries out.
struct ProductRecord {
  int32_t pfid;
  char reserved4[200];
  int32_t count;
  char reserved208[128];
  ProductEntry entries[ProductEntryCapacity];
};

#ifdef __cplusplus
}  // extern "C"
#endif

// ---- Layout proofs -------------------------------------------------------------------------
#ifdef __cplusplus
#define OM_STATIC_ASSERT(cond, msg) static_assert(cond, msg)
#else
#define OM_STATIC_ASSERT(cond, msg) _Static_assert(cond, msg)
#endif

// Word index of every slot and data word.
#define OM_HOST_WORD(field, word) \
  OM_STATIC_ASSERT(offsetof(HostApi, field) == (word) * sizeof(void*), #field " must sit at word " #word)
OM_HOST_WORD(RequestKind, 1);
OM_HOST_WORD(PageUrl, 3);
OM_HOST_WORD(ClientAddress, 6);
OM_HOST_WORD(ClientPort, 7);
OM_HOST_WORD(RandomRange, 26);
OM_HOST_WORD(ScreenName, 27);
OM_HOST_WORD(GetHostNumber, 28);
OM_HOST_WORD(NoteFailure, 30);
OM_HOST_WORD(FormatAddress, 31);
OM_HOST_WORD(DecodeText, 33);
OM_HOST_WORD(WriteText, 39);
OM_HOST_WORD(Redirect, 40);
OM_HOST_WORD(Respond, 41);
OM_HOST_WORD(SetVar, 42);
OM_HOST_WORD(GetVar, 43);
OM_HOST_WORD(OpenKeyedSession, 45);
OM_HOST_WORD(SetKeyedSessionOption, 46);
OM_HOST_WORD(CloseKeyedSession, 47);
OM_HOST_WORD(OpenSession, 48);
OM_HOST_WORD(SetSessionOption, 49);
OM_HOST_WORD(CloseSession, 50);
OM_HOST_WORD(GetSessionVar, 51);
OM_HOST_WORD(SetSessionVar, 52);
OM_HOST_WORD(DbOpen, 53);
OM_HOST_WORD(DbRelease, 54);
OM_HOST_WORD(DbSetTag, 55);
OM_HOST_WORD(DbSetQuery, 56);
OM_HOST_WORD(DbExecute, 58);
OM_HOST_WORD(DbNextResult, 59);
OM_HOST_WORD(DbBindColumn, 60);
OM_HOST_WORD(DbFetch, 61);
OM_HOST_WORD(DbCloseCursor, 62);
OM_HOST_WORD(SendMail, 64);
OM_HOST_WORD(GetServerRecord, 66);
OM_HOST_WORD(QueueEnter, 68);
OM_HOST_WORD(QueuePoll, 69);
OM_HOST_WORD(QueueCancel, 70);
OM_HOST_WORD(IsDbOffline, 72);
OM_HOST_WORD(LogEvent, 73);
OM_HOST_WORD(RegisterHost, 74);
OM_HOST_WORD(QueryServerAccess, 76);
OM_HOST_WORD(PostEventRecord, 77);
OM_HOST_WORD(QueryAccountRecord, 78);
OM_HOST_WORD(SetAccountCodes, 81);
OM_HOST_WORD(QueryProductRecord, 85);
OM_HOST_WORD(EncodeText, 88);
OM_HOST_WORD(GetFeatureSwitch, 96);
#undef OM_HOST_WORD
OM_STATIC_ASSERT(sizeof(HostApi) == HostApiWordCount * sizeof(void*), "HostApi has 97 words");
OM_STATIC_ASSERT(sizeof(HostIntWord) == sizeof(void*), "an integer data word is one word wide");

#define OM_FIELD_AT(type, field, offset) \
  OM_STATIC_ASSERT(offsetof(type, field) == (offset), #type "." #field " must sit at byte " #offset)

OM_STATIC_ASSERT(sizeof(PluginInfo) == 132, "PluginInfo is 132 bytes");
OM_FIELD_AT(PluginInfo, interfaceId, 0);
OM_FIELD_AT(PluginInfo, version, 4);
OM_FIELD_AT(PluginInfo, built, 68);

OM_STATIC_ASSERT(sizeof(EventRecord) == 932, "EventRecord is 932 bytes");
OM_FIELD_AT(EventRecord, accountId, 0);
OM_FIELD_AT(EventRecord, eventCode, 4);
OM_FIELD_AT(EventRecord, loginValue, 8);
OM_FIELD_AT(EventRecord, accountName, 12);
OM_FIELD_AT(EventRecord, firstName, 44);
OM_FIELD_AT(EventRecord, lastName, 76);
OM_FIELD_AT(EventRecord, email, 108);
OM_FIELD_AT(EventRecord, characterId, 236);
OM_FIELD_AT(EventRecord, characterName, 240);
OM_FIELD_AT(EventRecord, clientAddress, 272);
OM_FIELD_AT(EventRecord, clientPort, 276);
OM_FIELD_AT(EventRecord, pfid, 280);
OM_FIELD_AT(EventRecord, pfid2, 284);
OM_FIELD_AT(EventRecord, pcid, 288);
OM_FIELD_AT(EventRecord, featureMask, 352);
OM_FIELD_AT(EventRecord, source, 356);
OM_FIELD_AT(EventRecord, userIdText, 420);

OM_STATIC_ASSERT(sizeof(HostRecord) == 2140, "HostRecord is 2140 bytes");
OM_FIELD_AT(HostRecord, accountId, 0);
OM_FIELD_AT(HostRecord, loginValue, 4);
OM_FIELD_AT(HostRecord, pfid, 8);
OM_FIELD_AT(HostRecord, characterId, 12);
OM_FIELD_AT(HostRecord, reserved16, 16);
OM_FIELD_AT(HostRecord, reserved80, 80);
OM_FIELD_AT(HostRecord, status, 84);
OM_FIELD_AT(HostRecord, reserved88, 88);
OM_FIELD_AT(HostRecord, hostKey, 92);

OM_STATIC_ASSERT(sizeof(NameValueEntry) == 544, "NameValueEntry is 544 bytes");
OM_FIELD_AT(NameValueEntry, value, 32);
OM_STATIC_ASSERT(sizeof(ServerRecord) == 55416, "ServerRecord is 55416 bytes");
OM_FIELD_AT(ServerRecord, rid, 0);
OM_FIELD_AT(ServerRecord, gsid, 4);
OM_FIELD_AT(ServerRecord, found, 132);
OM_FIELD_AT(ServerRecord, ownServer, 200);
OM_FIELD_AT(ServerRecord, affiliateServer, 204);
OM_FIELD_AT(ServerRecord, statsRequired, 212);
OM_FIELD_AT(ServerRecord, queued, 216);
OM_FIELD_AT(ServerRecord, pfidOverride, 224);
OM_FIELD_AT(ServerRecord, pfid2Override, 228);
OM_FIELD_AT(ServerRecord, accessText, 768);
OM_FIELD_AT(ServerRecord, loginRequired, 836);
OM_FIELD_AT(ServerRecord, accessCodesRequired, 840);
OM_FIELD_AT(ServerRecord, ticketRequired, 844);
OM_FIELD_AT(ServerRecord, pageIdRequired, 856);
OM_FIELD_AT(ServerRecord, serverAddress, 860);
OM_FIELD_AT(ServerRecord, serverPort, 864);
OM_FIELD_AT(ServerRecord, serverName, 868);
OM_FIELD_AT(ServerRecord, appId, 908);
OM_FIELD_AT(ServerRecord, baffleAddress, 912);
OM_FIELD_AT(ServerRecord, bafflePort, 916);
OM_FIELD_AT(ServerRecord, baffleKey, 920);
OM_FIELD_AT(ServerRecord, scrambleKey, 928);
OM_FIELD_AT(ServerRecord, count, 940);
OM_FIELD_AT(ServerRecord, values, 944);
OM_FIELD_AT(ServerRecord, lanOnly, 55412);

OM_STATIC_ASSERT(sizeof(JoinTicketRequest) == 284, "JoinTicketRequest is 284 bytes");
OM_FIELD_AT(JoinTicketRequest, accountId, 0);
OM_FIELD_AT(JoinTicketRequest, loginValue, 4);
OM_FIELD_AT(JoinTicketRequest, characterId, 8);
OM_FIELD_AT(JoinTicketRequest, userId, 12);
OM_FIELD_AT(JoinTicketRequest, rid, 140);
OM_FIELD_AT(JoinTicketRequest, serverAddress, 144);
OM_FIELD_AT(JoinTicketRequest, serverPort, 148);
OM_FIELD_AT(JoinTicketRequest, status, 152);
OM_FIELD_AT(JoinTicketRequest, ticket, 156);

OM_STATIC_ASSERT(sizeof(CodeList) == 3204, "CodeList is 3204 bytes");
OM_FIELD_AT(CodeList, count, 3200);

OM_STATIC_ASSERT(sizeof(ProductEntry) == 136, "ProductEntry is 136 bytes");
OM_FIELD_AT(ProductEntry, features, 4);
OM_STATIC_ASSERT(sizeof(ProductRecord) == 2512, "ProductRecord is 2512 bytes");
OM_FIELD_AT(ProductRecord, pfid, 0);
OM_FIELD_AT(ProductRecord, count, 204);
OM_FIELD_AT(ProductRecord, entries, 336);
#undef OM_FIELD_AT

#endif  // OM_FRAMEWORK_HOST_API_H
