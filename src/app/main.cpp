#include "app/program.h"

int main() { return quorlan::run_program(); }
