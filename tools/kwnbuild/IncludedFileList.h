#pragma once
// The included files of a build: the names the launcher will extract them under, checked here so
// that the launcher never meets a name it cannot create or refuses, and the two keys that tell
// the launcher about them.
#include "tools/kwnbuild/ConfigModel.h"

#include <string>
#include <string_view>

namespace kwn::build {

// A name as written in the input (UTF-8, "/" or "\" between a directory and a file) in the form
// the launcher reads it, or BuildError prefixed with `where`.
std::string includedFileName(std::string_view utf8, const std::string& where);

// Appends `file`, refusing a name that Windows would take for a listed one: the same name in
// another case, or a file name that another entry uses as its directory.
void addIncludedFile(std::vector<IncludedFile>& files, IncludedFile file);

// "NAME=SOURCE" (split at the first "="), the source relative to the working directory.
IncludedFile parseIncludeOption(std::string_view assignment);

// Keys 2002 and 2003 belong to the included files; setting them by hand could only make them
// disagree with the records.
void rejectIncludedFileKey(Key key, const std::string& where);

// Sets keys 2002 (the count) and 2003 (the names joined by ";") when there are included files.
void setIncludedFileKeys(ConfigModel& model);

} // namespace kwn::build
