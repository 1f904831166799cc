// The failure codes the account pages send besides the framework's own (their texts live in
// the host's message base), and the literal texts of the bare failures.
#ifndef OM_PLUGINS_ACCOUNT_CODES_H
#define OM_PLUGINS_ACCOUNT_CODES_H

#include <stdint.h>

namespace account {

enum : int32_t {
  kCodeNoPfid = 1100,
  kCodeFeatureUnreadable = 1206,
  kCodeNoRevision = 1013,
  kCodeNameChangesOff = 2008,
  kCodeNoName = 3000,
  kCodeNoPassword = 3001,
  kCodeNoEmail = 3003,
  kCodeUnsafeName = 3100,
  kCodeUnsafePassword = 3101,
  kCodeBadEmail = 3104,
  kCodeSuspended = 3201,
  kCodeMarkedForDeletion = 3202,
  kCodeNoSuchAccount = 3206,
  kCodeRestricted = 3211,
  kCodeBlocked = 3215,
  kCodeNameTaken = 3216,
  kCodeEmailTaken = 3217,
  kCodeNoAccountForEmail = 3218,
  kCodeEmailsDiffer = 3220,
  kCodeNamesDiffer = 3222,
  kCodePasswordsDiffer = 3223,
  kCodePasswordTooShort = 3224,
  kCodeNameTooLong = 3229,
  kCodePasswordTooLong = 3230,
  kCodeEmailTooLong = 3231,
  kCodeHandOffRefused = 3243,
  kCodeProcedureFailed = 4004,
  kCodeProcedureRefused = 4007,
};

// Limits of the identifying texts, in bytes of the trimmed text.
enum : int32_t { kNameMax = 16, kPasswordMin = 4, kPasswordMax = 16, kEmailMax = 64 };

constexpr char kTextNoFunction[] = "action has no function.";
constexpr char kTextIllegalStage[] = "Illegal stage value.";
constexpr char kTextNoSession[] = "Unable to open up session.";

}  // namespace account

#endif  // OM_PLUGINS_ACCOUNT_CODES_H
