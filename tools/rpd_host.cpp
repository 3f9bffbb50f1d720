// rpd-host: loads libtam_rpd.so as a BGP process would and decodes RPD data
// with nothing but the callbacks the plug-in installs.
#include <dlfcn.h>
#include <unistd.h>

#include <cctype>
#include <cstdio>
#include <cstring>
#include <string>
#include <vector>

#include "tam_host.h"
#include "tam_rpd.h"

namespace {

constexpr uint64_t kModule = 0x52504448;  // "RPDH"

struct Plugin {
    void *handle = nullptr;
    decltype(&TAM_RPD_Construct) construct = nullptr;
    decltype(&TAM_RPD_Destruct) destruct = nullptr;
    TAM_RPD_PLUGIN_OPS ops{};
    TAM_RPD_INSTANCE *inst = nullptr;

    bool Load(const std::string &path) {
        handle = dlopen(path.c_str(), RTLD_NOW | RTLD_LOCAL);
        if (handle == nullptr) {
            std::fprintf(stderr, "rpd-host: cannot load %s: %s\n", path.c_str(), dlerror());
            return false;
        }
        construct = reinterpret_cast<decltype(construct)>(dlsym(handle, "TAM_RPD_Construct"));
        destruct = reinterpret_cast<decltype(destruct)>(dlsym(handle, "TAM_RPD_Destruct"));
        if (construct == nullptr || destruct == nullptr) {
            std::fprintf(stderr, "rpd-host: %s does not export the registration functions\n", path.c_str());
            return false;
        }
        std::memset(&ops, 0, sizeof(ops));
        inst = construct(&ops, kModule);
        if (inst == nullptr) {
            std::fprintf(stderr, "rpd-host: TAM_RPD_Construct refused the registration\n");
            return false;
        }
        return true;
    }
    ~Plugin() {
        if (inst != nullptr) destruct(inst);
        if (handle != nullptr) dlclose(handle);
    }
};

std::string DefaultPluginPath(const char *argv0) {
    std::string self = argv0;
    char buf[4096];
    ssize_t n = readlink("/proc/self/exe", buf, sizeof(buf) - 1);
    if (n > 0) self.assign(buf, static_cast<size_t>(n));
    size_t slash = self.rfind('/');
    return (slash == std::string::npos ? std::string(".") : self.substr(0, slash)) + "/" + TAM_RPD_DEFAULT_PLUGIN;
}

// Hex text: whitespace and '#' comments allowed.
bool ReadHex(FILE *in, std::vector<uint8_t> &out, std::string &err) {
    int c;
    int nibble = -1;
    bool comment = false;
    while ((c = std::fgetc(in)) != EOF) {
        if (comment) {
            comment = c != '\n';
            continue;
        }
        if (c == '#') {
            comment = true;
        } else if (std::isxdigit(c)) {
            int v = std::isdigit(c) ? c - '0' : (std::tolower(c) - 'a' + 10);
            if (nibble < 0) {
                nibble = v;
            } else {
                out.push_back(static_cast<uint8_t>(nibble << 4 | v));
                nibble = -1;
            }
        } else if (!std::isspace(c)) {
            err = std::string("unexpected character '") + static_cast<char>(c) + "'";
            return false;
        }
    }
    if (nibble >= 0) {
        err = "odd number of hex digits";
        return false;
    }
    return true;
}

void Usage(FILE *to) {
    std::fprintf(to,
                 "usage: rpd-host [--plugin PATH] FILE\n"
                 "  Decodes an MP_REACH_NLRI NLRI field given as hex text (FILE, or - for stdin)\n"
                 "  through the plug-in's packet-parse callback and prints each route key.\n"
                 "  --plugin PATH  plug-in to load (default: libtam_rpd.so beside this program)\n");
}

}  // namespace

int main(int argc, char **argv) {
    std::string plugin = DefaultPluginPath(argv[0]);
    const char *file = nullptr;
    for (int i = 1; i < argc; ++i) {
        if (std::strcmp(argv[i], "--help") == 0 || std::strcmp(argv[i], "-h") == 0) {
            Usage(stdout);
            return 0;
        } else if (std::strcmp(argv[i], "--plugin") == 0 && i + 1 < argc) {
            plugin = argv[++i];
        } else if (file == nullptr) {
            file = argv[i];
        } else {
            Usage(stderr);
            return 2;
        }
    }
    if (file == nullptr) {
        Usage(stderr);
        return 2;
    }
    FILE *in = std::strcmp(file, "-") == 0 ? stdin : std::fopen(file, "rb");
    if (in == nullptr) {
        std::fprintf(stderr, "rpd-host: %s: %s\n", file, std::strerror(errno));
        return 2;
    }
    std::vector<uint8_t> bytes;
    std::string err;
    bool ok = ReadHex(in, bytes, err);
    if (in != stdin) std::fclose(in);
    if (!ok) {
        std::fprintf(stderr, "rpd-host: %s: %s\n", file, err.c_str());
        return 2;
    }

    Plugin p;
    if (!p.Load(plugin)) return 2;
    const uint8_t *cur = bytes.data();
    const uint8_t *end = bytes.data() + bytes.size();
    uint32_t more = bytes.empty() ? 0 : 1;
    int failures = 0;
    int routes = 0;
    while (more != 0 && cur < end) {
        TAM_RPD_OUTPUT_BUF *out = nullptr;
        const uint8_t *start = cur;
        uint32_t st = p.ops.pfnParsePkt(&cur, static_cast<uint32_t>(end - cur), p.ops.aulPktType[0], &out, &more,
                                        p.inst);
        if (st != TAM_RPD_OK) {
            std::fprintf(stderr, "rpd-host: %s: offset %td: status 0x%x\n", file, start - bytes.data(), st);
            ++failures;
            break;
        }
        TAM_RPD_ROUTE_KEY key;
        std::memcpy(&key, reinterpret_cast<uint8_t *>(out) + out->usKeyOffset, sizeof(key));
        uint32_t peer;
        std::memcpy(&peer, key.aucPeerAddr, 4);
        std::printf("route %d: policy type %u, distinguisher %u, peer %u.%u.%u.%u\n", ++routes, key.ucPolicyType,
                    key.ulDistinguisher, peer >> 24, (peer >> 16) & 0xFF, (peer >> 8) & 0xFF, peer & 0xFF);
        QOR_Free_F(out, "rpd-host", 0);
    }
    return failures == 0 ? 0 : 1;
}
