// Where the tool finds its colour tables, maps and fonts. RDR_ROOT wins when set; else the
// installation root itself when it holds them; else the tree beside the program, as the
// build stages it (bin/../root) or cmake --install lays it out (bin/../share/rdr/root), so
// that a built or installed rdr runs without RDR_ROOT.
#ifndef RDR_TOOL_RESOURCE_ROOT_H
#define RDR_TOOL_RESOURCE_ROOT_H

#include <string>

// Sets RDR_ROOT for the process when it is unset and a tree is found beside the program.
void findResourceRoot();

// Empty when the drawing resources are there; otherwise the folder looked for.
std::string missingDrawingResources();

#endif
