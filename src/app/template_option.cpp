#include "app/template_option.h"

#include <cstdio>

#include "io/messages.h"
#include "templates/builtins.h"

namespace quorlan {

int print_template(const std::vector<std::string>& arguments) {
    if (arguments.empty() || arguments[0].starts_with("-")) {
        std::string text = "Built-in templates (TEMPLATE=NAME in quorlan.ini uses one, quorlan --template NAME\n"
                           "prints it, quorlan --init --for NAME writes a quorlan.ini for it):\n";
        for (const BuiltinTemplate& builtin : builtin_templates()) {
            std::string name(builtin.name);
            name.resize(14, ' ');
            text += "  " + name + std::string(builtin.family) + ", " + std::string(builtin.output) + "\n";
        }
        return print_report(text);
    }
    const BuiltinTemplate* builtin = find_builtin(arguments[0]);
    if (builtin == nullptr) {
        std::fprintf(stderr, "quorlan: no built-in template is named %s (the built-in ones are %s)\n",
                     quoted_name(arguments[0]).c_str(), std::string(builtin_names()).c_str());
        return 2;
    }
    return print_report(std::string(builtin->text));
}

}  // namespace quorlan
