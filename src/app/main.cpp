#include "app/init.h"
#include "app/options.h"
#include "app/program.h"
#include "app/template_option.h"
#include "explain/explain.h"
#include "io/platform.h"

int main(int argc, char** argv) {
    quorlan::ignore_write_signals();
    const quorlan::Options options = quorlan::read_options(argc, argv);
    switch (options.action) {
        case quorlan::Action::Help: return quorlan::print_help();
        case quorlan::Action::Version: return quorlan::print_version();
        case quorlan::Action::Explain: return quorlan::run_explain();
        case quorlan::Action::Init: return quorlan::run_init(options.init_arguments);
        case quorlan::Action::Template: return quorlan::print_template(options.template_arguments);
        case quorlan::Action::Unknown: return quorlan::refuse_unknown_option(options);
        case quorlan::Action::Convert: break;
    }
    return quorlan::run_program();
}
