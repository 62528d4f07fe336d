// Has the MinGW start-up code ask the runtime to expand wildcard arguments, as a Windows
// program's users expect of "report.exe *.txt": the script receives the matching file names.
extern "C" {
int _dowildcard = -1;
}
