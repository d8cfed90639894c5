#pragma once
// The thin layer between the operating system and the program: the folder of
// the executable, the process arguments in UTF-8 and how writes past a
// file-size limit end.

#include <QString>

#include <string>
#include <vector>

namespace Tessary {

// Folder that holds the running executable, without a trailing separator.
// Works before the application object exists (the session log needs it then);
// once it exists, the application's own answer is used.
QString executableDirectory();

// The process arguments as UTF-8 strings. On Windows they are rebuilt from the
// wide command line, since the narrow argv uses the ANSI code page and loses
// characters outside it; elsewhere argv is copied as it is.
std::vector<std::string> processArguments(int argc, char** argv);

// A write beyond the process's file-size limit fails with "File too large"
// instead of ending the process, so the writer reports it and the user keeps
// the session. Call once at start-up.
void failWritesPastFileSizeLimit();

// Keeps argument strings alive and offers them as the argc/argv pair that
// QApplication wants. It must outlive the application object, which keeps
// pointers into argv for its whole life.
class ArgumentStore
{
public:
    explicit ArgumentStore(std::vector<std::string> args);
    int& argc() { return count; }
    char** argv() { return pointers.data(); }

private:
    std::vector<std::string> strings;
    std::vector<char*> pointers;
    int count = 0;
};

} // namespace Tessary
