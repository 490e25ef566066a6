#include <string_view>

#include "app/explain.h"
#include "app/program.h"

int main(int argc, char** argv) {
    if (argc > 1 && std::string_view(argv[1]) == "--explain") return quorlan::run_explain();
    return quorlan::run_program();
}
