// Runs any bytes through the run driver up to the wizard: classification,
// control entry checks, settings reading from `product` and `install` (through
// temporary files), the texts and lists, name preparation, sorting and step
// counts. Nothing may read outside the input or crash; when the wizard would
// open, the items must be in processing order with their counts consistent.
#include <cstdint>
#include <cstdlib>
#include <cstring>

#include "engine/run_context.h"
#include "package/run_package.h"
#include "platform/text_services.h"

namespace {

// Answers No to everything: a damaged control entry ends the run.
class AnswerNo final : public QuestionHost {
 public:
  int ShowMessageBox(const char*, const char*, uint32_t) override { return 7; }
};

}  // namespace

extern "C" int LLVMFuzzerTestOneInput(const uint8_t* data, size_t size) {
  if (size > UINT32_MAX) return 0;
  static AnswerNo host;
  RunContext context(host);
  if (!BuildCatalogue(context, data, static_cast<uint32_t>(size))) return 0;

  const PackageCatalogue& catalogue = context.catalogue;
  uint32_t updates = 0;
  const PatchItem* previous = nullptr;
  for (const PatchItem& item : catalogue) {
    if (std::strlen(item.name) > item.nameLength) std::abort();
    if (item.kind == ItemKind::kUpdate) ++updates;
    if (previous != nullptr && previous->kind > item.kind) std::abort();
    if (previous != nullptr && previous->kind == item.kind &&
        platform::CompareLocaleText(previous->name, static_cast<int32_t>(std::strlen(previous->name)),
                                    item.name, static_cast<int32_t>(std::strlen(item.name)), true) == 3) {
      std::abort();
    }
    previous = &item;
  }
  if (updates != catalogue.UpdateItemCount) std::abort();
  if (catalogue.TotalSteps != catalogue.ItemCount + catalogue.DelFilesCount + catalogue.DelDirsCount) {
    std::abort();
  }
  return 0;
}
