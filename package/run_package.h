// The run driver: from the mapped package to the closed wizard.
#pragma once

#include <cstdint>

struct RunContext;
class WizardHost;

// Builds the catalogue of the package image in `context` (which must be
// fresh), checks the control entries, reads the settings, prepares and sorts
// the item names, counts the steps and runs the wizard through `wizard`.
// Failures are shown through the context's question host and end the run.
// Frees the items, the names and the deletion lists before it returns
// CompletionCode: 1 when the stages ran to their end, -1 otherwise.
[[nodiscard]] int32_t RunPackage(RunContext& context, WizardHost& wizard,
                                 const uint8_t* imageStart, uint32_t imageSize);

// The steps of RunPackage up to the wizard: true when the wizard may open.
// The author's tool uses it to list a package.
[[nodiscard]] bool BuildCatalogue(RunContext& context, const uint8_t* imageStart,
                                  uint32_t imageSize);

// The control entry check: each slot holding an entry is verified; for a
// damaged one the user is asked whether to go on. Yes empties the slot; any
// other answer ends the run (false).
[[nodiscard]] bool CheckControlEntries(RunContext& context);

// DelDirsCount, DelFilesCount and TotalSteps from the deletion lists.
void CountSteps(RunContext& context);
