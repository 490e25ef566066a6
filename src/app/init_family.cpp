#include "app/init_family.h"

#include <cstdio>

#include "io/messages.h"

namespace quorlan {

bool read_family(const std::vector<std::string>& arguments, const BuiltinTemplate*& family,
                 std::vector<std::string>& rest) {
    family = nullptr;
    rest.clear();
    for (std::size_t i = 0; i < arguments.size(); ++i) {
        if (arguments[i] != "--for") {
            rest.push_back(arguments[i]);
            continue;
        }
        if (i + 1 == arguments.size() || arguments[i + 1].starts_with("-")) {
            std::fprintf(stderr, "quorlan: --for needs a phone family: %s\n", std::string(builtin_names()).c_str());
            return false;
        }
        family = find_builtin(arguments[++i]);
        if (family == nullptr) {
            std::fprintf(stderr, "quorlan: no phone family is named %s (quorlan --init --for takes %s)\n",
                         quoted_name(arguments[i]).c_str(), std::string(builtin_names()).c_str());
            return false;
        }
    }
    return true;
}

}  // namespace quorlan
