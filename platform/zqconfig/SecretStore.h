// Remembered passwords in the desktop's secret store (the Secret Service over the session bus, through
// libsecret), one item per account name. Every call answers false when no store answers (no session bus, no
// secret service, a locked store whose prompt was refused); the caller then keeps the password elsewhere.
// Texts are GBK. The calls block until the store answers: call them where a short wait is acceptable (the
// login dialog).
#pragma once

#include <string>

namespace zqconfig {

// Stores (or replaces) the account's password; false when no store took it.
bool StoreSecret(const std::string& account, const std::string& password);
// True when a store answered; `found` says whether it holds a password for the account.
bool LookupSecret(const std::string& account, std::string& password, bool& found);
// Removes the account's password; false when no store answered.
bool ClearSecret(const std::string& account);

}  // namespace zqconfig
