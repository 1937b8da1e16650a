// Subcommands of the rdr tool. Each takes the arguments after its own name and
// returns the process exit status.
#ifndef RDR_COMMANDS_H
#define RDR_COMMANDS_H

int fnRunInfo(int argc, char** argv);
int fnRunProduct(int argc, char** argv);
int fnRunImage(int argc, char** argv);
int fnRunSynth(int argc, char** argv);

#endif
