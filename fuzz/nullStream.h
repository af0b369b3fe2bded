// An output stream that discards what it is given, so renderers run to
// the end at no cost.
#pragma once

#include <ostream>
#include <streambuf>

namespace fuzzsupport {

class NullBuffer : public std::streambuf {
protected:
    int overflow(int c) override { return c; }
    std::streamsize xsputn(const char*, std::streamsize n) override { return n; }
};

inline std::ostream& nullStream() {
    static NullBuffer nothing;
    static std::ostream out(&nothing);
    return out;
}

}  // namespace fuzzsupport
