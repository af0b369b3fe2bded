// The users of the server: a file of "user:hash" lines, each hash made by
// crypt(3) (as `mkpasswd` prints it), blank lines and lines starting with
// '#' skipped. A request's HTTP Basic credentials are checked against it.
#pragma once

#include <string>
#include <vector>

namespace platdump::serve {

class Users {
public:
    // False, with why naming the file and line, when the file cannot be read
    // or a line is no "user:hash" with a hash crypt(3) can check.
    bool load(const std::string& path, std::string& why);
    bool empty() const { return iv_users.empty(); }
    // Whether password is user's; as slow for an unknown user as for a
    // known one. Safe to call from several threads.
    bool check(const std::string& user, const std::string& password) const;

private:
    struct User {
        std::string name;
        std::string hash;
    };
    std::vector<User> iv_users;
};

}  // namespace platdump::serve
