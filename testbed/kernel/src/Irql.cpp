// The IRQL of each thread and the record of broken kernel rules.
#include "testbed/kernel/src/KernelState.h"

#include <cstdio>

namespace standin {
namespace {
thread_local KIRQL currentIrql = PASSIVE_LEVEL;
std::mutex violationLock;
std::vector<std::string> violations;
}  // namespace

void Violation(const std::string &what) {
  std::lock_guard<std::mutex> guard(violationLock);
  violations.push_back(what);
}

void CheckIrql(const char *routine, KIRQL limit) {
  if (currentIrql > limit) {
    char text[160];
    snprintf(text, sizeof text, "%s called at IRQL %u (limit %u)", routine,
             static_cast<unsigned>(currentIrql), static_cast<unsigned>(limit));
    Violation(text);
  }
}

void SetIrql(KIRQL level) { currentIrql = level; }

std::vector<std::string> Violations() {
  std::lock_guard<std::mutex> guard(violationLock);
  return violations;
}

void ClearViolations() {
  std::lock_guard<std::mutex> guard(violationLock);
  violations.clear();
}

IrqlRaise::IrqlRaise(KIRQL level) : old_(currentIrql) { currentIrql = level; }
IrqlRaise::~IrqlRaise() { currentIrql = old_; }

}  // namespace standin

KIRQL KeGetCurrentIrql() { return standin::currentIrql; }
