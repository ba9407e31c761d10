// Time, heap allocations and peak memory of the run driver on a large
// package: opening, classifying, checking the control entries, reading the
// settings, preparing and sorting the names and counting the steps, up to the
// moment the wizard would open.
//
//   run_package_bench [entries] [rounds]     (defaults: 20000, 9)
//
// The package holds `entries` items (Add, Replace and Update in turn, in
// nested folders, in an order the sort has to undo), a product and install
// entry and a del.files list of 1,000 names. Times are the best and the
// median of the rounds; allocations are counted by replacing operator new
// for the whole program (blocks from malloc, such as text buffers, are not
// counted); memory is the resident size when the wizard would open against
// the size before the runs, and the process's high-water mark, from /proc.
#include <algorithm>
#include <atomic>
#include <chrono>
#include <cstdio>
#include <cstdlib>
#include <fstream>
#include <new>
#include <string>
#include <vector>

#include "engine/run_context.h"
#include "package/run_package.h"
#include "package/wizard_host.h"
#include "tests/support/package_writer.h"

namespace {

std::atomic<uint64_t> gAllocations{0};

// Resident and peak resident memory in KiB, from /proc/self/status.
long StatusKib(const char* field) {
  std::ifstream status("/proc/self/status");
  std::string line;
  while (std::getline(status, line)) {
    if (line.rfind(field, 0) == 0) return std::atol(line.c_str() + std::string(field).size());
  }
  return -1;
}

class SilentHost final : public QuestionHost {
 public:
  int ShowMessageBox(const char* text, const char*, uint32_t) override {
    std::fprintf(stderr, "unexpected question: %s\n", text);
    std::exit(1);
  }
};

class TimingWizard final : public WizardHost {
 public:
  void RunWizard(RunContext& context) override {
    reached = std::chrono::steady_clock::now();
    allocationsAtWizard = gAllocations.load();
    items = context.catalogue.ItemCount;
    steps = context.catalogue.TotalSteps;
    residentAtWizard = StatusKib("VmRSS:");
  }
  std::chrono::steady_clock::time_point reached;
  long residentAtWizard = 0;
  uint64_t allocationsAtWizard = 0;
  uint32_t items = 0;
  uint32_t steps = 0;
};

std::vector<uint8_t> LargePackage(uint32_t entries) {
  PackagePlan plan;
  plan.hostPrefix = BytesOf("MZ stub");
  plan.files.push_back(DeflatedFile("product", BytesOf("[PRODUCT]\r\nProductName=Bench\r\n"
                                                       "OldVersion=1\r\nNewVersion=2\r\n")));
  plan.files.push_back(DeflatedFile("install", BytesOf("[INSTALL]\r\nApplyToSrc=1\r\n"
                                                       "[SRC_FIXPATH]\r\nPath=/opt/bench\r\n")));
  std::string list;
  for (int i = 0; i < 1000; ++i) list += "old/removed" + std::to_string(i) + ".dat\r\n";
  plan.files.push_back(DeflatedFile("del.files", BytesOf(list)));
  const char* prefixes[] = {"Add/", "Replace/", "Update/"};
  for (uint32_t i = 0; i < entries; ++i) {
    // Descending numbers within each folder, so the sort has work to do.
    const uint32_t n = entries - i;
    char name[96];
    std::snprintf(name, sizeof name, "%smodule%02u/sub%02u/File%06u.bin%s", prefixes[i % 3],
                  n % 37, n % 11, n, i % 3 == 2 ? ".df" : "");
    plan.files.push_back(StoredFile(name, BytesOf("x")));
  }
  return BuildPackage(plan).bytes;
}

}  // namespace

void* operator new(size_t size) {
  ++gAllocations;
  if (void* block = std::malloc(size == 0 ? 1 : size)) return block;
  throw std::bad_alloc();
}
void operator delete(void* block) noexcept { std::free(block); }
void operator delete(void* block, size_t) noexcept { std::free(block); }

int main(int argc, char** argv) {
  const uint32_t entries = argc > 1 ? static_cast<uint32_t>(std::atoi(argv[1])) : 20000;
  const int rounds = argc > 2 ? std::atoi(argv[2]) : 9;
  if (entries + 3 > 65535 || rounds < 1) {
    std::fprintf(stderr, "usage: run_package_bench [entries <= 65532] [rounds]\n");
    return 2;
  }
  const std::vector<uint8_t> package = LargePackage(entries);
  const long residentBefore = StatusKib("VmRSS:");
  const long peakBefore = StatusKib("VmHWM:");

  std::vector<double> milliseconds;
  uint64_t allocations = 0;
  uint32_t items = 0;
  uint32_t steps = 0;
  long residentAtWizard = 0;
  for (int round = 0; round < rounds; ++round) {
    SilentHost host;
    RunContext context(host);
    TimingWizard wizard;
    const uint64_t allocationsBefore = gAllocations.load();
    const auto start = std::chrono::steady_clock::now();
    static_cast<void>(RunPackage(context, wizard, package.data(), static_cast<uint32_t>(package.size())));
    milliseconds.push_back(std::chrono::duration<double, std::milli>(wizard.reached - start).count());
    allocations = wizard.allocationsAtWizard - allocationsBefore;
    items = wizard.items;
    steps = wizard.steps;
    residentAtWizard = std::max(residentAtWizard, wizard.residentAtWizard);
  }
  std::sort(milliseconds.begin(), milliseconds.end());
  std::printf("package: %u items, %zu bytes; the wizard saw %u items and %u steps\n", entries,
              package.size(), items, steps);
  std::printf("RunPackage up to the wizard: best %.2f ms, median %.2f ms (%d rounds)\n",
              milliseconds.front(), milliseconds[milliseconds.size() / 2], rounds);
  std::printf("operator new calls during one run: %llu\n",
              static_cast<unsigned long long>(allocations));
  std::printf("resident before the runs: %ld KiB; at the wizard (largest): %ld KiB; "
              "process peak before: %ld KiB, after: %ld KiB\n",
              residentBefore, residentAtWizard, peakBefore, StatusKib("VmHWM:"));
  return 0;
}
