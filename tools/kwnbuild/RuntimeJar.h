#pragma once
// Where an application's launcher finds kwnruntime.jar, the Java half of every launcher. The
// second flavour (key 2001 "i") puts "<installation directory>\.kestrowan\kwnruntime.jar" on the
// class path itself; every other flavour runs an entry class from the same jar but leaves the
// class path to key 121, so the build adds the jar there.
#include "tools/kwnbuild/ConfigModel.h"

#include <filesystem>
#include <span>
#include <vector>

namespace kwn::build {

// The jar's place relative to the launcher's directory, for this configuration. BuildError when
// key 10003 names no plain relative directory under which the build could put it.
std::filesystem::path runtimeJarPlace(const ConfigModel& model);

// For every flavour but the second: the jar's place as a required class path entry in front of
// key 121's entries, unless it is there already.
void addRuntimeJarToClassPath(ConfigModel& model);

// BuildError when the jar is missing or unreadable, naming the options that choose another jar
// or none.
std::vector<unsigned char> readRuntimeJar(const std::filesystem::path& jar);

// Writes the jar to its place beside `launcher`.
void placeRuntimeJar(std::span<const unsigned char> jar, const std::filesystem::path& launcher,
                     const ConfigModel& model);

// dist/lib/kwnruntime.jar beside the dist/bin the running tool was started from.
std::filesystem::path defaultRuntimeJar(const char* argv0);

} // namespace kwn::build
