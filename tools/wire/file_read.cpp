#include "file_read.h"

#include <algorithm>

namespace rpdwire {

bool ReadExactly(FILE *in, std::vector<uint8_t> &buf, size_t len) {
    constexpr size_t kFirst = 1 << 16;
    buf.clear();
    while (buf.size() < len) {
        const size_t have = buf.size();
        const size_t step = std::min(len - have, std::max(have, kFirst));
        buf.resize(have + step);
        const size_t got = std::fread(buf.data() + have, 1, step, in);
        if (got < step) {
            buf.resize(have + got);
            return false;
        }
    }
    return true;
}

}  // namespace rpdwire
