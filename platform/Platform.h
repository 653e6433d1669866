#pragma once
// Everything the launcher logic may ask of the operating system, handed in at start.
#include "platform/CodePage.h"
#include "platform/Console.h"
#include "platform/Environment.h"
#include "platform/Files.h"
#include "platform/Ipc.h"
#include "platform/Process.h"
#include "platform/Programs.h"
#include "platform/Registry.h"
#include "platform/SplashScreen.h"
#include "platform/System.h"
#include "platform/Threads.h"
#include "platform/UserInterface.h"

namespace kwn::platform {

struct Platform {
    Files& files;
    Environment& environment;
    Process& process;
    UserInterface& ui;
    Console& console;
    System& system;
    Threads& threads;
    CodePage& codePage;
    Registry& registry;
    Programs& programs;
    Ipc& ipc;
    // Only the splash screen needs it; a platform made for other parts may leave it out.
    SplashScreen* splash = nullptr;
};

} // namespace kwn::platform
