#include "app/program.hpp"
#include "io/console.hpp"

int main(int argc, char* argv[])
{
    return cardtab::run_program(cardtab::program_arguments(argc, argv));
}
