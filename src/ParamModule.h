// Collects the command-line words into a queue.
#pragma once
#include "Queue.h"

namespace ParamModule {

// One word per argument: the first word of each (blanks and tabs end it); an argument of nothing but
// blanks ends the list.
void GetParams(Queue::tQueue& words, int argc, const char* const* argv);

}  // namespace ParamModule
