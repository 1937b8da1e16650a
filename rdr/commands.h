// Subcommands of the rdr tool. Each takes the arguments after its own name and
// returns the process exit status.
#ifndef RDR_COMMANDS_H
#define RDR_COMMANDS_H

int runInfo(int argc, char** argv);
int runProduct(int argc, char** argv);
int runImage(int argc, char** argv);
int runSynth(int argc, char** argv);
int runConvert(int argc, char** argv);

#endif
