#include "users.h"

#include <crypt.h>

#include <fstream>
#include <memory>

namespace platdump::serve {

namespace {

// crypt_r's result for password against hash; "" when crypt refuses the
// hash (libxcrypt answers such a failure with a text starting with '*').
std::string hashed(const std::string& password, const std::string& hash) {
    auto data = std::make_unique<crypt_data>();  // about 32 KiB: not on a connection thread's stack
    const char* out = ::crypt_r(password.c_str(), hash.c_str(), data.get());
    if (!out || out[0] == '*') return "";
    return out;
}

bool sameText(const std::string& a, const std::string& b) {
    if (a.size() != b.size()) return false;
    unsigned char diff = 0;
    for (size_t i = 0; i < a.size(); ++i) diff |= static_cast<unsigned char>(a[i] ^ b[i]);
    return diff == 0;
}

}  // namespace

bool Users::load(const std::string& path, std::string& why) {
    std::ifstream in(path);
    if (!in) {
        why = "cannot read the users file " + path;
        return false;
    }
    std::vector<User> users;
    std::string line;
    for (size_t number = 1; std::getline(in, line); ++number) {
        if (!line.empty() && line.back() == '\r') line.pop_back();
        if (line.empty() || line[0] == '#') continue;
        const size_t colon = line.find(':');
        const std::string where = path + " line " + std::to_string(number);
        if (colon == 0 || colon == std::string::npos || colon + 1 == line.size()) {
            why = where + ": not user:hash";
            return false;
        }
        User u{line.substr(0, colon), line.substr(colon + 1)};
        if (hashed("", u.hash).empty()) {
            why = where + ": the hash of user " + u.name + " is none crypt(3) knows (make one with mkpasswd)";
            return false;
        }
        users.push_back(std::move(u));
    }
    if (users.empty()) {
        why = "the users file " + path + " names no user";
        return false;
    }
    iv_users = std::move(users);
    return true;
}

bool Users::check(const std::string& user, const std::string& password) const {
    if (iv_users.empty()) return false;
    const User* found = nullptr;
    for (const User& u : iv_users)
        if (u.name == user) found = &u;
    // An unknown user's password is hashed all the same, against the first
    // user's hash, so the answer takes as long.
    const std::string& hash = found ? found->hash : iv_users.front().hash;
    const std::string result = hashed(password, hash);
    return found && !result.empty() && sameText(result, hash);
}

}  // namespace platdump::serve
