#include "Queue.h"

namespace Queue {

tNodeRec::~tNodeRec() {
  // Unlink iteratively so a long chain cannot exhaust the stack.
  while (next) next = std::move(next->next);
}

void tQueue::Init() {
  first.reset();
  last = nullptr;
}

std::unique_ptr<tNodeRec> tQueue::Get() {
  std::unique_ptr<tNodeRec> node = std::move(first);
  if (node) first = std::move(node->next);
  return node;
}

void tQueue::Add(std::unique_ptr<tNodeRec> node) {
  node->next.reset();
  tNodeRec* added = node.get();
  if (!first)
    first = std::move(node);
  else
    last->next = std::move(node);
  last = added;
}

}  // namespace Queue
