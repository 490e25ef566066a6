#include "app/init.h"
#include "app/options.h"
#include "app/program.h"
#include "app/template_option.h"
#include "explain/explain.h"
#include "io/platform.h"

int main(int argc, char** argv) {
    quorlan::ignore_write_signals();
    switch (quorlan::choose_action(argc, argv)) {
        case quorlan::Action::Help: return quorlan::print_help();
        case quorlan::Action::Version: return quorlan::print_version();
        case quorlan::Action::Explain: return quorlan::run_explain();
        case quorlan::Action::Init: return quorlan::run_init(quorlan::init_arguments(argc, argv));
        case quorlan::Action::Template: return quorlan::print_template(quorlan::arguments_after(argc, argv, "--template"));
        case quorlan::Action::Unknown: return quorlan::refuse_unknown_option(argc, argv);
        case quorlan::Action::Convert: break;
    }
    return quorlan::run_program();
}
