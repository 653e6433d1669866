// Stand-in for a runtime's jvm.dll: a recording double of the JNI invocation interface. Loading
// it leaves a line naming the file that was loaded; JNI_CreateJavaVM records the argument record
// it was given and hands out a VM and an environment with real function tables, and every JNI
// call the launcher makes is recorded in order, so that a test reads back exactly what the
// launcher asked of the VM. Built a second time without the export, for runtimes whose library
// loads but is unusable.
//
// The lines go to the file named by KWN_STANDIN_LOG, else to jvm.log beside the DLL. Texts are
// written as the launcher handed them: option strings byte for byte, Java strings as UTF-8.
//
// jvm.cfg beside the DLL, one "key=value" per line, read at JNI_CreateJavaVM:
//   create=fail          JNI_CreateJavaVM returns JNI_ERR
//   missing-class=NAME   FindClass of NAME (slash form) fails with NoClassDefFoundError
//                        (repeatable)
//   missing-method=NAME  GetStaticMethodID of a method NAME fails with NoSuchMethodError
//                        (repeatable)
//   throw-in-main=1      a call of a method named main leaves a RuntimeException pending
//   firstrun=false       a static boolean method answers false (default true)
//   firstrun=throw       a static boolean method leaves a RuntimeException pending
#include "StandinFiles.h"

#ifndef KWN_STANDIN_NO_EXPORT
// Our definition of JNI_CreateJavaVM must match jni.h's declaration as an export.
#define _JNI_IMPLEMENTATION_
#include "JniFunctionSlots.h"

#include <jni.h>

#include <cstdarg>
#include <cstdio>
#include <memory>
#include <set>
#include <vector>
#endif

#include <string>

namespace {

#ifdef KWN_STANDIN_NO_EXPORT
constexpr const char* kBuild = "jvm-noexport";
#else
constexpr const char* kBuild = "jvm";
#endif

HMODULE thisModule = nullptr;

void record(const std::string& line) {
    std::string log = kwn::standin::environmentValue("KWN_STANDIN_LOG");
    if (log.empty())
        log = kwn::standin::moduleDirectory(thisModule) + "jvm.log";
    kwn::standin::appendLine(log, line);
}

} // namespace

extern "C" BOOL WINAPI DllMain(HINSTANCE instance, DWORD reason, LPVOID) {
    if (reason == DLL_PROCESS_ATTACH) {
        thisModule = instance;
        record(std::string("loaded ") + kBuild + " " + kwn::standin::modulePath(instance));
    }
    return TRUE;
}

#ifndef KWN_STANDIN_NO_EXPORT
namespace {

// --- behaviour ------------------------------------------------------------------------------

struct Behaviour {
    bool failCreate = false;
    std::set<std::string> missingClasses;
    std::set<std::string> missingMethods;
    bool throwInMain = false;
    std::string firstRun = "true";
};

Behaviour readBehaviour(const std::string& text) {
    Behaviour behaviour;
    for (const auto& [key, value] : kwn::standin::readSettings(text)) {
        if (key == "create")
            behaviour.failCreate = value == "fail";
        else if (key == "missing-class")
            behaviour.missingClasses.insert(value);
        else if (key == "missing-method")
            behaviour.missingMethods.insert(value);
        else if (key == "throw-in-main")
            behaviour.throwInMain = value == "1";
        else if (key == "firstrun")
            behaviour.firstRun = value;
        else
            record("unknown jvm.cfg key " + key);
    }
    return behaviour;
}

Behaviour behaviour;

// --- objects --------------------------------------------------------------------------------

// A JNI thread may come from the launcher's other threads (attach), so the object store is
// guarded; MinGW's default thread model has no std::mutex.
SRWLOCK storeLock = SRWLOCK_INIT;

struct Guard {
    Guard() { AcquireSRWLockExclusive(&storeLock); }
    ~Guard() { ReleaseSRWLockExclusive(&storeLock); }
    Guard(const Guard&) = delete;
    Guard& operator=(const Guard&) = delete;
};

struct Object {
    enum class Kind { Class, String, Array, Throwable } kind;
    std::string text; // class name, string content (UTF-8) or throwable class
    std::vector<Object*> elements;
    bool deleted = false;
};

struct Method {
    std::string owner, name, signature;
};

// Never freed: a reference the launcher deletes stays known, so that a later use of it is
// recorded as the fault it is instead of reading freed memory.
std::set<Object*> objects;
std::set<Method*> methods;
Object* pending = nullptr;

Object* newObject(Object::Kind kind, std::string text) {
    Guard guard;
    auto* object = new Object{kind, std::move(text), {}};
    objects.insert(object);
    return object;
}

// The object behind a reference, or null (recorded) when the launcher passed something this VM
// never handed out or already deleted.
Object* resolve(jobject reference, const char* function) {
    if (!reference)
        return nullptr;
    Guard guard;
    auto* object = reinterpret_cast<Object*>(reference);
    if (!objects.count(object)) {
        record(std::string("bad reference passed to ") + function);
        return nullptr;
    }
    if (object->deleted) {
        record(std::string("deleted reference passed to ") + function);
        return nullptr;
    }
    return object;
}

Method* resolveMethod(jmethodID id, const char* function) {
    Guard guard;
    auto* method = reinterpret_cast<Method*>(id);
    if (!methods.count(method)) {
        record(std::string("bad method id passed to ") + function);
        return nullptr;
    }
    return method;
}

template <typename Reference> Reference handle(Object* object) {
    return reinterpret_cast<Reference>(object);
}

std::string describe(Object* object) {
    if (!object)
        return "null";
    switch (object->kind) {
    case Object::Kind::Class:
        return "class " + object->text;
    case Object::Kind::String:
        return "string " + object->text;
    case Object::Kind::Array:
        return "array " + std::to_string(object->elements.size());
    case Object::Kind::Throwable:
        return "throwable " + object->text;
    }
    return "?";
}

void raise(const std::string& throwableClass) {
    pending = newObject(Object::Kind::Throwable, throwableClass);
}

// JNI forbids most calls while an exception is pending; a real VM may crash or misbehave.
void checkNoPending(const char* function) {
    if (pending)
        record(std::string("called with an exception pending: ") + function);
}

std::string utf8(const jchar* text, jsize length) {
    if (length <= 0)
        return {};
    const auto* wide = reinterpret_cast<const wchar_t*>(text);
    int size = WideCharToMultiByte(CP_UTF8, 0, wide, length, nullptr, 0, nullptr, nullptr);
    std::string out(static_cast<size_t>(size), '\0');
    WideCharToMultiByte(CP_UTF8, 0, wide, length, out.data(), size, nullptr, nullptr);
    return out;
}

// --- calls of static methods ----------------------------------------------------------------

// The parameter types of a method signature, one letter each ('L' for any reference).
std::string parameterKinds(const std::string& signature) {
    std::string kinds;
    size_t i = 1;
    while (i < signature.size() && signature[i] != ')') {
        size_t first = i;
        while (signature[i] == '[')
            ++i;
        if (signature[i] == 'L')
            i = signature.find(';', i);
        kinds += i > first ? 'L' : signature[i];
        ++i;
    }
    return kinds;
}

// One argument as recorded; an array gets a line per element after its own.
void recordArgument(jvalue value, char kind) {
    switch (kind) {
    case 'Z':
        record(std::string("boolean ") + (value.z ? "true" : "false"));
        break;
    case 'B':
    case 'C':
    case 'S':
    case 'I':
        record("int " + std::to_string(value.i));
        break;
    case 'J':
        record("long " + std::to_string(value.j));
        break;
    case 'F':
    case 'D':
        record("double " + std::to_string(value.d));
        break;
    default: {
        Object* object = resolve(value.l, "a static method call");
        record(describe(object));
        if (object && object->kind == Object::Kind::Array) {
            for (Object* element : object->elements)
                record("element " + (element ? element->text : std::string("<null>")));
        }
    }
    }
}

// Records the call and its arguments; the method then "runs" as the configuration says.
jboolean runStatic(const char* function, jclass owner, jmethodID id, const jvalue* arguments) {
    checkNoPending(function);
    Method* method = resolveMethod(id, function);
    Object* target = resolve(owner, function);
    if (!method)
        return JNI_FALSE;
    record(std::string(function) + " " + method->owner + " " + method->name + " " +
           method->signature);
    if (!target || target->kind != Object::Kind::Class || target->text != method->owner)
        record(std::string("class does not own the method in ") + function);
    std::string kinds = parameterKinds(method->signature);
    for (size_t i = 0; i < kinds.size(); ++i)
        recordArgument(arguments[i], kinds[i]);
    if (method->name == "main" && behaviour.throwInMain)
        raise("java/lang/RuntimeException");
    if (method->signature.back() == 'Z') {
        if (behaviour.firstRun == "throw")
            raise("java/lang/RuntimeException");
        return behaviour.firstRun == "false" ? JNI_FALSE : JNI_TRUE;
    }
    return JNI_FALSE;
}

// A va_list holds every argument promoted as for a C variadic call.
std::vector<jvalue> fromVaList(jmethodID id, va_list list) {
    std::vector<jvalue> values;
    Method* method = resolveMethod(id, "a variadic call");
    if (!method)
        return values;
    for (char kind : parameterKinds(method->signature)) {
        jvalue value{};
        if (kind == 'J')
            value.j = va_arg(list, jlong);
        else if (kind == 'F' || kind == 'D')
            value.d = va_arg(list, double);
        else if (kind == 'L')
            value.l = va_arg(list, jobject);
        else if (kind == 'Z')
            value.z = static_cast<jboolean>(va_arg(list, int));
        else
            value.i = va_arg(list, int);
        values.push_back(value);
    }
    return values;
}

void JNICALL callStaticVoidA(JNIEnv*, jclass owner, jmethodID id, const jvalue* arguments) {
    runStatic("CallStaticVoidMethodA", owner, id, arguments);
}

void JNICALL callStaticVoidV(JNIEnv*, jclass owner, jmethodID id, va_list list) {
    std::vector<jvalue> arguments = fromVaList(id, list);
    runStatic("CallStaticVoidMethodV", owner, id, arguments.data());
}

void JNICALL callStaticVoid(JNIEnv*, jclass owner, jmethodID id, ...) {
    va_list list;
    va_start(list, id);
    std::vector<jvalue> arguments = fromVaList(id, list);
    va_end(list);
    runStatic("CallStaticVoidMethod", owner, id, arguments.data());
}

jboolean JNICALL callStaticBooleanA(JNIEnv*, jclass owner, jmethodID id, const jvalue* arguments) {
    return runStatic("CallStaticBooleanMethodA", owner, id, arguments);
}

jboolean JNICALL callStaticBooleanV(JNIEnv*, jclass owner, jmethodID id, va_list list) {
    std::vector<jvalue> arguments = fromVaList(id, list);
    return runStatic("CallStaticBooleanMethodV", owner, id, arguments.data());
}

jboolean JNICALL callStaticBoolean(JNIEnv*, jclass owner, jmethodID id, ...) {
    va_list list;
    va_start(list, id);
    std::vector<jvalue> arguments = fromVaList(id, list);
    va_end(list);
    return runStatic("CallStaticBooleanMethod", owner, id, arguments.data());
}

// --- the modelled functions -----------------------------------------------------------------

jclass JNICALL findClass(JNIEnv*, const char* name) {
    checkNoPending("FindClass");
    record(std::string("FindClass ") + (name ? name : "<null>"));
    if (!name || behaviour.missingClasses.count(name)) {
        raise("java/lang/NoClassDefFoundError");
        return nullptr;
    }
    return handle<jclass>(newObject(Object::Kind::Class, name));
}

jmethodID JNICALL getStaticMethodId(JNIEnv*, jclass owner, const char* name,
                                    const char* signature) {
    checkNoPending("GetStaticMethodID");
    Object* target = resolve(owner, "GetStaticMethodID");
    std::string ownerName = target ? target->text : "<invalid>";
    record("GetStaticMethodID " + ownerName + " " + (name ? name : "<null>") + " " +
           (signature ? signature : "<null>"));
    if (!target || !name || !signature || behaviour.missingMethods.count(name)) {
        raise("java/lang/NoSuchMethodError");
        return nullptr;
    }
    Guard guard;
    auto* method = new Method{ownerName, name, signature};
    methods.insert(method);
    return reinterpret_cast<jmethodID>(method);
}

jobjectArray JNICALL newObjectArray(JNIEnv*, jsize length, jclass elementClass, jobject initial) {
    checkNoPending("NewObjectArray");
    Object* element = resolve(elementClass, "NewObjectArray");
    record("NewObjectArray " + std::to_string(length) + " " + describe(element));
    Object* array = newObject(Object::Kind::Array, {});
    array->elements.assign(static_cast<size_t>(length < 0 ? 0 : length),
                           resolve(initial, "NewObjectArray"));
    return handle<jobjectArray>(array);
}

void JNICALL setObjectArrayElement(JNIEnv*, jobjectArray array, jsize index, jobject value) {
    checkNoPending("SetObjectArrayElement");
    Object* target = resolve(array, "SetObjectArrayElement");
    Object* element = resolve(value, "SetObjectArrayElement");
    record("SetObjectArrayElement " + std::to_string(index) + " " + describe(element));
    if (!target || target->kind != Object::Kind::Array || index < 0 ||
        static_cast<size_t>(index) >= target->elements.size()) {
        raise("java/lang/ArrayIndexOutOfBoundsException");
        return;
    }
    target->elements[static_cast<size_t>(index)] = element;
}

jstring JNICALL newString(JNIEnv*, const jchar* text, jsize length) {
    checkNoPending("NewString");
    std::string converted = utf8(text, length);
    record("NewString " + converted);
    return handle<jstring>(newObject(Object::Kind::String, converted));
}

jstring JNICALL newStringUtf(JNIEnv*, const char* text) {
    checkNoPending("NewStringUTF");
    std::string copy = text ? text : "";
    record("NewStringUTF " + copy);
    return handle<jstring>(newObject(Object::Kind::String, copy));
}

void JNICALL deleteLocalRef(JNIEnv*, jobject reference) {
    Object* object = resolve(reference, "DeleteLocalRef");
    record("DeleteLocalRef " + describe(object));
    if (object)
        object->deleted = true;
}

jthrowable JNICALL exceptionOccurred(JNIEnv*) {
    record("ExceptionOccurred " + describe(pending));
    return handle<jthrowable>(pending);
}

jboolean JNICALL exceptionCheck(JNIEnv*) {
    record(std::string("ExceptionCheck ") + (pending ? "true" : "false"));
    return pending ? JNI_TRUE : JNI_FALSE;
}

void JNICALL exceptionDescribe(JNIEnv*) {
    record("ExceptionDescribe " + describe(pending));
    if (pending) {
        // What a VM prints: the trace on standard error; describing clears the exception.
        std::string name = pending->text;
        for (char& c : name)
            c = c == '/' ? '.' : c;
        std::string trace = "Exception in thread \"main\" " + name + ": from the stand-in VM\n";
        DWORD written = 0;
        WriteFile(GetStdHandle(STD_ERROR_HANDLE), trace.data(), static_cast<DWORD>(trace.size()),
                  &written, nullptr);
        pending = nullptr;
    }
}

void JNICALL exceptionClear(JNIEnv*) {
    record("ExceptionClear " + describe(pending));
    pending = nullptr;
}

// --- everything else ------------------------------------------------------------------------

// A slot the launcher is not expected to use: the call is recorded so that a test sees it, and
// answers zero of the slot's own type. Each slot gets a function of its exact type, since a
// 32-bit __stdcall callee must pop exactly the arguments it was given.
template <typename Function> struct Unexpected;
template <typename Result, typename... Parameters>
struct Unexpected<Result(JNICALL*)(Parameters...)> {
    template <const char* Name> static Result JNICALL call(Parameters...) {
        record(std::string("unexpected ") + Name);
        return Result();
    }
};
template <typename Result, typename... Parameters>
struct Unexpected<Result(JNICALL*)(Parameters..., ...)> {
    template <const char* Name> static Result JNICALL call(Parameters..., ...) {
        record(std::string("unexpected ") + Name);
        return Result();
    }
};
template <typename... Parameters> struct Unexpected<void(JNICALL*)(Parameters...)> {
    template <const char* Name> static void JNICALL call(Parameters...) {
        record(std::string("unexpected ") + Name);
    }
};
template <typename... Parameters> struct Unexpected<void(JNICALL*)(Parameters..., ...)> {
    template <const char* Name> static void JNICALL call(Parameters..., ...) {
        record(std::string("unexpected ") + Name);
    }
};

namespace slot_name {
#define KWN_SLOT_NAME(name) constexpr char name[] = #name;
KWN_JNI_FUNCTION_SLOTS(KWN_SLOT_NAME)
#undef KWN_SLOT_NAME
} // namespace slot_name

#define KWN_COUNT_SLOT(name) +1
constexpr size_t kReservedSlots = 4;
static_assert(sizeof(JNINativeInterface_) ==
                  (kReservedSlots KWN_JNI_FUNCTION_SLOTS(KWN_COUNT_SLOT)) * sizeof(void*),
              "the slot list must name every function of this jni.h");
#undef KWN_COUNT_SLOT

// MinGW's va_list is a builtin type with an attribute that is dropped when the slot types of
// the ...V functions become template arguments; the unexpected functions never read it.
#pragma GCC diagnostic push
#pragma GCC diagnostic ignored "-Wignored-attributes"
JNINativeInterface_ makeFunctionTable() {
    JNINativeInterface_ table{};
#define KWN_FILL_SLOT(name)                                                                        \
    table.name = &Unexpected<decltype(table.name)>::template call<slot_name::name>;
    KWN_JNI_FUNCTION_SLOTS(KWN_FILL_SLOT)
#undef KWN_FILL_SLOT
    table.FindClass = findClass;
    table.GetStaticMethodID = getStaticMethodId;
    table.NewObjectArray = newObjectArray;
    table.SetObjectArrayElement = setObjectArrayElement;
    table.NewString = newString;
    table.NewStringUTF = newStringUtf;
    table.DeleteLocalRef = deleteLocalRef;
    table.ExceptionOccurred = exceptionOccurred;
    table.ExceptionCheck = exceptionCheck;
    table.ExceptionDescribe = exceptionDescribe;
    table.ExceptionClear = exceptionClear;
    table.CallStaticVoidMethod = callStaticVoid;
    table.CallStaticVoidMethodV = callStaticVoidV;
    table.CallStaticVoidMethodA = callStaticVoidA;
    table.CallStaticBooleanMethod = callStaticBoolean;
    table.CallStaticBooleanMethodV = callStaticBooleanV;
    table.CallStaticBooleanMethodA = callStaticBooleanA;
    return table;
}
#pragma GCC diagnostic pop

const JNINativeInterface_ functionTable = makeFunctionTable();
JNIEnv environment{&functionTable};

// --- the VM ---------------------------------------------------------------------------------

jint JNICALL destroyJavaVm(JavaVM*) {
    record("DestroyJavaVM");
    return JNI_OK;
}

jint JNICALL attachCurrentThread(JavaVM*, void** env, void* arguments) {
    record(std::string("AttachCurrentThread ") + (arguments ? "with arguments" : "plain"));
    if (env)
        *env = &environment;
    return JNI_OK;
}

jint JNICALL detachCurrentThread(JavaVM*) {
    record("DetachCurrentThread");
    return JNI_OK;
}

jint JNICALL getEnv(JavaVM*, void** env, jint version) {
    record("unexpected GetEnv " + std::to_string(version));
    if (env)
        *env = nullptr;
    return JNI_EDETACHED;
}

jint JNICALL attachCurrentThreadAsDaemon(JavaVM*, void** env, void*) {
    record("unexpected AttachCurrentThreadAsDaemon");
    if (env)
        *env = nullptr;
    return JNI_ERR;
}

const JNIInvokeInterface_ invokeTable{nullptr,
                                      nullptr,
                                      nullptr,
                                      destroyJavaVm,
                                      attachCurrentThread,
                                      detachCurrentThread,
                                      getEnv,
                                      attachCurrentThreadAsDaemon};
JavaVM virtualMachine{&invokeTable};

std::string hex(jint value) {
    char text[16];
    std::snprintf(text, sizeof text, "0x%lx", static_cast<unsigned long>(value));
    return text;
}

} // namespace

extern "C" JNIEXPORT jint JNICALL JNI_CreateJavaVM(JavaVM** vm, void** env, void* arguments) {
    behaviour = readBehaviour(
        kwn::standin::readWholeFile(kwn::standin::moduleDirectory(thisModule) + "jvm.cfg"));
    const auto* init = static_cast<const JavaVMInitArgs*>(arguments);
    if (!init) {
        record("JNI_CreateJavaVM without arguments");
        return JNI_EINVAL;
    }
    record("JNI_CreateJavaVM version " + hex(init->version) + " ignoreUnrecognized " +
           std::to_string(static_cast<int>(init->ignoreUnrecognized)) + " options " +
           std::to_string(init->nOptions));
    for (jint i = 0; i < init->nOptions; ++i) {
        const JavaVMOption& option = init->options[i];
        record(std::string("option ") + (option.optionString ? option.optionString : "<null>") +
               (option.extraInfo ? " (with extraInfo)" : ""));
    }
    if (behaviour.failCreate) {
        record("JNI_CreateJavaVM fails");
        return JNI_ERR;
    }
    *vm = &virtualMachine;
    *env = &environment;
    return JNI_OK;
}
#endif
