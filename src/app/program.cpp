#include "app/program.h"

namespace rankora::app {

// The handlers are wired to the window; their work arrives with the lookup,
// sorting and saving.
void Program::RunBatch() {}
void Program::SaveResults() {}
void Program::SortByWeight() {}
void Program::OpenMakerPage() {}

void LoadStartupDictionary() {}

}  // namespace rankora::app
