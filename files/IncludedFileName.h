#pragma once
// Which names of included files the launcher is willing to write. The names come from the
// launcher file, which anyone can edit, and are joined to the launcher temp directory; a name
// that could reach any other place on the disk, or a device, is never written. The build tool
// applies the same rule, so that every name it stores is one the launcher accepts.
#include <optional>
#include <string_view>

namespace kwn::files {

// Why name cannot stay inside the directory it is joined to, as a short phrase for messages
// ("a '..' component"); nullopt when it can. Names use backslashes; "/" is refused, since only
// the backslash is looked for when the directory of a name is created.
std::optional<std::string_view> includedNameFault(std::string_view name);

} // namespace kwn::files
