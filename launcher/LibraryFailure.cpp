// The stub is built without exceptions: their runtime support (unwinder, type information,
// the library's exception classes and the strings they carry) would be a third to a half of
// every application's launcher. Where the C++ library would throw (memory exhausted, a length
// beyond what a container can hold, an empty std::function called) it calls these functions
// instead, and each ends the launcher as its other internal errors do: the text shown, exit 1.
#include "launcher/LibraryFailure.h"

#include "launcher/LaunchContext.h"

#include <atomic>
#include <cstdlib>
#include <new>
#include <string>

namespace kwn::launcher {

namespace {
std::atomic<LaunchContext*> reportingContext{nullptr};
std::atomic<bool> failing{false};

[[noreturn]] void libraryFailure(const char* what) {
    // Reporting allocates: a failure while one is reported (memory running out again, or
    // another thread failing meanwhile) ends the process without a second message.
    LaunchContext* context = reportingContext.load();
    if (context && !failing.exchange(true))
        context->errors.fatalText(std::string("Internal Error: ") + what);
    std::_Exit(1);
}
} // namespace

void reportLibraryFailuresTo(LaunchContext& context) {
    reportingContext.store(&context);
}

} // namespace kwn::launcher

namespace std {
using kwn::launcher::libraryFailure;

// clang-format off
void __throw_bad_exception() { libraryFailure("bad_exception"); }
void __throw_bad_alloc() { libraryFailure("bad_alloc"); }
void __throw_bad_array_new_length() { libraryFailure("bad_array_new_length"); }
void __throw_bad_cast() { libraryFailure("bad_cast"); }
void __throw_bad_typeid() { libraryFailure("bad_typeid"); }
void __throw_bad_function_call() { libraryFailure("bad_function_call"); }
void __throw_logic_error(const char* what) { libraryFailure(what); }
void __throw_domain_error(const char* what) { libraryFailure(what); }
void __throw_invalid_argument(const char* what) { libraryFailure(what); }
void __throw_length_error(const char* what) { libraryFailure(what); }
void __throw_out_of_range(const char* what) { libraryFailure(what); }
// The format's numbers are left out: the text names the operation, which is what matters.
void __throw_out_of_range_fmt(const char* format, ...) { libraryFailure(format); }
void __throw_runtime_error(const char* what) { libraryFailure(what); }
void __throw_range_error(const char* what) { libraryFailure(what); }
void __throw_overflow_error(const char* what) { libraryFailure(what); }
void __throw_underflow_error(const char* what) { libraryFailure(what); }
// clang-format on
} // namespace std

// The library's own operator new throws std::bad_alloc directly, which alone would link the
// whole exception runtime; this one fails through the path above. Memory comes from malloc, as
// the library's operator delete hands it back to free.
void* operator new(std::size_t size) {
    void* memory = std::malloc(size != 0 ? size : 1);
    if (!memory)
        std::__throw_bad_alloc();
    return memory;
}
