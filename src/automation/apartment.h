// Stand-ins for the platform's per-thread COM initialisation calls. They only
// count, per thread, so that tests can check what each wrapper does to the
// balance.
#pragma once

#include "automation/hresult.h"

namespace rankora::automation {

// S_OK on the first call of a thread (or after the count has gone back to
// zero), S_FALSE on a nested call.
HRESULT CoInitialize();
void CoUninitialize();

// Program start and end; they count on the same counter.
HRESULT OleInitialize();
void OleUninitialize();

// How many initialisations of this thread are not yet undone.
int ApartmentCount();

}  // namespace rankora::automation
