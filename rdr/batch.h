// Many files through one command: `rdr image|product|convert FILE... --outdir DIR [-j N]
// [options]`. Each file runs the command on its own in a child process, so that one file's
// failure (or crash) never stops the others; up to N run at once. A progress line is kept on
// a terminal, a summary is printed at the end, and the exit status is 1 when any file failed.
#ifndef RDR_TOOL_BATCH_H
#define RDR_TOOL_BATCH_H

// What the command makes of one file: its usual arguments after the file.
using CommandRun = int (*)(int argc, char** argv);

// -1 when argv is not a batch request (no --outdir); otherwise the exit status. The files
// are the arguments before the first option; the output of each is DIR/<name><extension>,
// the name being the file's own without directory, ".gz" and extension.
int runBatch(const char* szCommand, CommandRun run, int argc, char** argv);

#endif
