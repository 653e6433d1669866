/* The JNI machine-dependent definitions for the MinGW-w64 builds of the launcher. The JDK's
 * platform-neutral jni.h includes this file; it must come before the JDK's own directories on
 * the include path, and a Linux jni_md.h must never be used for Windows: the types and the
 * calling convention have to match what a Windows jvm.dll was built with. */
#ifndef _JAVASOFT_JNI_MD_H_
#define _JAVASOFT_JNI_MD_H_

#define JNIEXPORT __declspec(dllexport)
#define JNIIMPORT __declspec(dllimport)
/* x64 has one calling convention and ignores this; a 32-bit jvm.dll expects __stdcall. */
#define JNICALL __stdcall

/* long is 32 bits on Windows in both widths, as the Windows JDK declares jint. */
typedef long jint;
typedef long long jlong;
typedef signed char jbyte;

#endif /* !_JAVASOFT_JNI_MD_H_ */
