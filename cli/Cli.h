#pragma once

/// sifton-cli from its arguments to its exit status (0 found, 1 none found, 2 trouble).
int RunCli(int argc, char** argv);
