#include "explain/explain.h"
#include "app/options.h"
#include "app/program.h"

int main(int argc, char** argv) {
    switch (quorlan::choose_action(argc, argv)) {
        case quorlan::Action::Help: return quorlan::print_help();
        case quorlan::Action::Version: return quorlan::print_version();
        case quorlan::Action::Explain: return quorlan::run_explain();
        case quorlan::Action::Convert: break;
    }
    return quorlan::run_program();
}
