// The settings of the account pages that the service chooses for itself: where visitors
// write for help, and the web site that serves the activation page. One place, so that a
// deployment changes them together.
#ifndef OM_PLUGINS_ACCOUNT_SETTINGS_H
#define OM_PLUGINS_ACCOUNT_SETTINGS_H

namespace account {

// The support mailbox named in the welcome mail and in the unsupported-state text.
constexpr char kSupportMailbox[] = "support@orbitmere.example";

// Scheme and host name of the web site whose page posts ActivateAccount.
#define OM_ACCOUNT_WEB_SITE "https://www.orbitmere.example"
// The activation link of ForgotActivationCode; the placeholders are filled in any letter case.
constexpr char kActivationLinkTemplate[] =
    OM_ACCOUNT_WEB_SITE "/activateaccount.htm?email=$(EMAIL)&activationcode=$(ACTIVATIONCODE)";
#undef OM_ACCOUNT_WEB_SITE

// The series letter every new account's PC id belongs to.
constexpr char kNewAccountSeries[] = "A";

}  // namespace account

#endif  // OM_PLUGINS_ACCOUNT_SETTINGS_H
