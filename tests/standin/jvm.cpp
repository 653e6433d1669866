// Stand-in for a runtime's jvm.dll: a recording double of the JNI invocation interface. Loading it
// records which file was loaded; JNI_CreateJavaVM records the options it got and hands out a VM
// whose environment records what the launcher does to call main. The record goes to the file
// named by KWN_STANDIN_LOG (none without it); Java strings are written as UTF-8.
// Whether JNI is used correctly is the JNI tier's business, against a real VM; this double only
// has to let a start run to its end under Wine and show what reached the VM.
//
// KWN_STANDIN_VM asks for behaviours, separated by commas: "throw-in-main" leaves an exception
// pending after main, "hold-main=<file>" keeps main running until the file exists (so that a test
// can look at the started application's files, or start it again), "hold-create=<file>" does the
// same before the VM is created, "minimised-window" makes main show a minimised window and
// record, once released, whether it is still minimised, "load-library=<name>" loads a library by
// bare name and records the file it came from, and "splash-action=<file>" scripts the splash
// controller: while the file exists, getAction answers its first number and deletes it, and
// getText answers the rest of its line (null without one).
#include "StandinFiles.h"

// Our definition of JNI_CreateJavaVM must match jni.h's declaration as an export.
#define _JNI_IMPLEMENTATION_
#include <jni.h>

#include <algorithm>
#include <array>
#include <cstdarg>
#include <cstdlib>
#include <cstring>
#include <optional>
#include <string_view>
#include <utility>
#include <vector>

namespace {

void record(const std::string& line) {
    kwn::standin::appendLine(kwn::standin::environmentValue("KWN_STANDIN_LOG"), line);
}

// Classes, strings, arrays, methods and throwables alike: a name or text, and array elements.
// Never freed; a start is short.
struct Object {
    std::string text;
    std::vector<std::string> elements;
};

Object* object(const void* reference) {
    return static_cast<Object*>(const_cast<void*>(reference));
}

template <typename Handle> Handle make(std::string text) {
    return reinterpret_cast<Handle>(new Object{std::move(text), {}});
}

// The value of "name=value" or the presence of "name" among the behaviours; nullopt without it.
std::optional<std::string> behaviour(std::string_view name) {
    std::string all = kwn::standin::environmentValue("KWN_STANDIN_VM");
    for (size_t start = 0; start <= all.size();) {
        size_t end = std::min(all.find(',', start), all.size());
        std::string_view item = std::string_view(all).substr(start, end - start);
        if (item == name)
            return std::string();
        if (item.starts_with(name) && item.size() > name.size() && item[name.size()] == '=')
            return std::string(item.substr(name.size() + 1));
        start = end + 1;
    }
    return std::nullopt;
}

// Messages are pumped while holding: another process restoring a window of ours waits for it.
void holdUntilReleased(std::string_view name) {
    if (std::optional<std::string> release = behaviour(name)) {
        for (int i = 0; i < 1200 && GetFileAttributesA(release->c_str()) == INVALID_FILE_ATTRIBUTES;
             ++i) {
            MSG message;
            while (PeekMessageA(&message, nullptr, 0, 0, PM_REMOVE))
                DispatchMessageA(&message);
            Sleep(50);
        }
    }
}

Object* pending = nullptr;

// The splash controller's next text; null when the last scripted action had none.
std::optional<std::string> splashText;

jint scriptedSplashAction() {
    std::optional<std::string> script = behaviour("splash-action");
    if (!script)
        return 0;
    HANDLE file = CreateFileA(script->c_str(), GENERIC_READ, FILE_SHARE_READ | FILE_SHARE_DELETE,
                              nullptr, OPEN_EXISTING, 0, nullptr);
    if (file == INVALID_HANDLE_VALUE)
        return 0;
    char buffer[512];
    DWORD size = 0;
    ReadFile(file, buffer, sizeof buffer, &size, nullptr);
    CloseHandle(file);
    DeleteFileA(script->c_str());
    std::string line(buffer, size);
    line = line.substr(0, line.find_first_of("\r\n"));
    size_t space = line.find(' ');
    splashText = space == std::string::npos ? std::nullopt
                                            : std::optional<std::string>(line.substr(space + 1));
    return std::atoi(line.c_str());
}

// A function the launcher is not expected to call: recorded by its slot's index in jni.h's
// table, and the process ends at once, so that the start cannot pass for a good one. Ending
// without returning also spares each slot a function of its exact type.
template <size_t Slot> void JNICALL unexpected() {
    record("unexpected JNI function in slot " + std::to_string(Slot));
    ExitProcess(70);
}

constexpr size_t kSlots = sizeof(JNINativeInterface_) / sizeof(void*);
using Slot = void(JNICALL*)();

template <size_t... Index> std::array<Slot, kSlots> unexpectedSlots(std::index_sequence<Index...>) {
    return {&unexpected<Index>...};
}

jclass JNICALL findClass(JNIEnv*, const char* name) {
    record(std::string("FindClass ") + name);
    return make<jclass>(name);
}

jmethodID JNICALL getStaticMethodId(JNIEnv*, jclass owner, const char* name,
                                    const char* signature) {
    return make<jmethodID>(object(owner)->text + " " + name + " " + signature);
}

jobjectArray JNICALL newObjectArray(JNIEnv*, jsize length, jclass, jobject) {
    auto array = make<jobjectArray>("");
    object(array)->elements.resize(static_cast<size_t>(length));
    return array;
}

void JNICALL setObjectArrayElement(JNIEnv*, jobjectArray array, jsize index, jobject value) {
    object(array)->elements.at(static_cast<size_t>(index)) = object(value)->text;
}

jstring JNICALL newString(JNIEnv*, const jchar* text, jsize length) {
    const auto* wide = reinterpret_cast<const wchar_t*>(text);
    int size = WideCharToMultiByte(CP_UTF8, 0, wide, length, nullptr, 0, nullptr, nullptr);
    std::string utf8(static_cast<size_t>(size), '\0');
    WideCharToMultiByte(CP_UTF8, 0, wide, length, utf8.data(), size, nullptr, nullptr);
    return make<jstring>(utf8);
}

jstring JNICALL newStringUtf(JNIEnv*, const char* text) {
    return make<jstring>(text);
}

void JNICALL deleteLocalRef(JNIEnv*, jobject) {}

jobject JNICALL newGlobalRef(JNIEnv*, jobject object) {
    return object;
}

jint JNICALL pushLocalFrame(JNIEnv*, jint) {
    return JNI_OK;
}

jobject JNICALL popLocalFrame(JNIEnv*, jobject result) {
    return result;
}

jboolean JNICALL exceptionCheck(JNIEnv*) {
    return pending ? JNI_TRUE : JNI_FALSE;
}

void JNICALL exceptionClear(JNIEnv*) {
    pending = nullptr;
}

jthrowable JNICALL exceptionOccurred(JNIEnv*) {
    return reinterpret_cast<jthrowable>(pending);
}

// What a VM prints for an uncaught exception; describing clears it.
void JNICALL exceptionDescribe(JNIEnv*) {
    if (pending)
        kwn::standin::writeStandardError("Exception in thread \"main\" " + pending->text + "\n");
    pending = nullptr;
}

// main gets its String[] as the one variadic argument, startupPerformed a String or null. The
// runtime splash settings' values are the JNI tier's to check.
void JNICALL callStaticVoidMethodV(JNIEnv*, jclass, jmethodID method, va_list arguments) {
    if (object(method)->text.find(" initAwtSplashConfig ") != std::string::npos) {
        record("initAwtSplashConfig");
        return;
    }
    jobject argument = va_arg(arguments, jobject);
    if (object(method)->text.find(" startupPerformed ") != std::string::npos) {
        record("startupPerformed " + (argument ? object(argument)->text : std::string("null")));
        return;
    }
    record("call " + object(method)->text);
    for (const std::string& element : object(argument)->elements)
        record("argument " + element);
    if (behaviour("throw-in-main"))
        pending = new Object{"java.lang.RuntimeException: from the stand-in VM", {}};
    HWND window = nullptr;
    if (behaviour("minimised-window")) {
        window = CreateWindowExA(0, "STATIC", "stand-in application", WS_OVERLAPPEDWINDOW, 0, 0,
                                 300, 200, nullptr, nullptr, nullptr, nullptr);
        ShowWindow(window, SW_SHOWMINIMIZED);
        record("window shown minimised " + std::to_string(IsIconic(window) ? 1 : 0));
    }
    holdUntilReleased("hold-main");
    if (window)
        record("window minimised " + std::to_string(IsIconic(window) ? 1 : 0));
}

jint JNICALL callStaticIntMethodV(JNIEnv*, jclass, jmethodID method, va_list) {
    if (object(method)->text.find(" getAction ") == std::string::npos) {
        record("unexpected int method " + object(method)->text);
        ExitProcess(70);
    }
    return scriptedSplashAction();
}

jobject JNICALL callStaticObjectMethodV(JNIEnv*, jclass, jmethodID method, va_list) {
    record("call " + object(method)->text);
    return splashText ? make<jobject>(*splashText) : nullptr;
}

// Strings hold UTF-8; their UTF-16 form is made on request and never freed.
jsize JNICALL getStringLength(JNIEnv*, jstring text) {
    const std::string& utf8 = object(text)->text;
    return MultiByteToWideChar(CP_UTF8, 0, utf8.data(), static_cast<int>(utf8.size()), nullptr, 0);
}

const jchar* JNICALL getStringChars(JNIEnv* env, jstring text, jboolean* isCopy) {
    const std::string& utf8 = object(text)->text;
    auto* wide = new wchar_t[static_cast<size_t>(getStringLength(env, text)) + 1];
    MultiByteToWideChar(CP_UTF8, 0, utf8.data(), static_cast<int>(utf8.size()), wide,
                        getStringLength(env, text));
    if (isCopy)
        *isCopy = JNI_TRUE;
    return reinterpret_cast<const jchar*>(wide);
}

void JNICALL releaseStringChars(JNIEnv*, jstring, const jchar*) {}

JNINativeInterface_ makeFunctionTable() {
    JNINativeInterface_ table;
    std::array<Slot, kSlots> slots = unexpectedSlots(std::make_index_sequence<kSlots>());
    static_assert(sizeof slots == sizeof table);
    std::memcpy(&table, slots.data(), sizeof table);
    table.FindClass = findClass;
    table.GetStaticMethodID = getStaticMethodId;
    table.NewObjectArray = newObjectArray;
    table.SetObjectArrayElement = setObjectArrayElement;
    table.NewString = newString;
    table.NewStringUTF = newStringUtf;
    table.DeleteLocalRef = deleteLocalRef;
    table.ExceptionOccurred = exceptionOccurred;
    table.ExceptionCheck = exceptionCheck;
    table.ExceptionClear = exceptionClear;
    table.NewGlobalRef = newGlobalRef;
    table.PushLocalFrame = pushLocalFrame;
    table.PopLocalFrame = popLocalFrame;
    table.ExceptionDescribe = exceptionDescribe;
    table.CallStaticVoidMethodV = callStaticVoidMethodV;
    table.CallStaticIntMethodV = callStaticIntMethodV;
    table.CallStaticObjectMethodV = callStaticObjectMethodV;
    table.GetStringLength = getStringLength;
    table.GetStringChars = getStringChars;
    table.ReleaseStringChars = releaseStringChars;
    return table;
}

const JNINativeInterface_ functionTable = makeFunctionTable();
JNIEnv environment{&functionTable};

jint JNICALL destroyJavaVm(JavaVM*) {
    record("DestroyJavaVM");
    return JNI_OK;
}

// The splash thread attaches as an ordinary thread and detaches before it ends.
jint JNICALL attachCurrentThread(JavaVM*, void** env, void*) {
    record("AttachCurrentThread");
    *env = &environment;
    return JNI_OK;
}

jint JNICALL detachCurrentThread(JavaVM*) {
    record("DetachCurrentThread");
    return JNI_OK;
}

// The notification listener attaches its own thread; every thread shares the one environment.
jint JNICALL attachCurrentThreadAsDaemon(JavaVM*, void** env, void*) {
    record("AttachCurrentThreadAsDaemon");
    *env = &environment;
    return JNI_OK;
}

const JNIInvokeInterface_ invokeTable{nullptr,
                                      nullptr,
                                      nullptr,
                                      destroyJavaVm,
                                      attachCurrentThread,
                                      detachCurrentThread,
                                      nullptr,
                                      attachCurrentThreadAsDaemon};
JavaVM virtualMachine{&invokeTable};

} // namespace

extern "C" BOOL WINAPI DllMain(HINSTANCE instance, DWORD reason, LPVOID) {
    if (reason == DLL_PROCESS_ATTACH)
        record("loaded jvm " + kwn::standin::modulePath(instance));
    return TRUE;
}

extern "C" JNIEXPORT jint JNICALL JNI_CreateJavaVM(JavaVM** vm, void** env, void* arguments) {
    const auto* init = static_cast<const JavaVMInitArgs*>(arguments);
    record("JNI_CreateJavaVM version " + std::to_string(init->version) + " options " +
           std::to_string(init->nOptions));
    for (jint i = 0; i < init->nOptions; ++i)
        record(std::string("option ") + init->options[i].optionString);
    holdUntilReleased("hold-create");
    if (std::optional<std::string> name = behaviour("load-library")) {
        HMODULE library = LoadLibraryA(name->c_str()); // by bare name, as a runtime loads its own
        record("library " + (library ? kwn::standin::modulePath(library) : *name + " not loaded"));
    }
    *vm = &virtualMachine;
    *env = &environment;
    return JNI_OK;
}
