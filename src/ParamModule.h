// Collects the command-line words into a queue.
// Uses: Queue, ZYNData.
#pragma once
#include "Queue.h"

namespace ParamModule {

// One word per argument, without the blanks and tabs around it; a last argument of nothing but blanks ends
// the list. An empty word or one with blanks inside is for ParseParams to refuse.
void GetParams(Queue::tQueue& words, int argc, const char* const* argv);

}  // namespace ParamModule
