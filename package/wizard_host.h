// The front end that runs the wizard once the catalogue and settings are ready.
#pragma once

struct RunContext;

// The Windows program fills it with the real wizard; native tests with a
// script that commits values and runs the stages directly.
class WizardHost {
 public:
  virtual ~WizardHost() = default;

  // Shows the wizard and returns when it has closed. The run's outcome is
  // left in context.CompletionCode.
  virtual void RunWizard(RunContext& context) = 0;
};
