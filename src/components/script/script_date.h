// JScript's dates on Duktape: the text forms its Date objects print in, the
// texts Date.parse and the Date constructor read, and platform dates
// (VT_DATE) crossing into script and back.
//
// A platform date holds a local time, as JScript takes it: a VT_DATE
// argument reaches script as a Date at that local time and goes back out as
// a VT_DATE while it stays that Date. Every function here that takes a
// context runs inside a protected call; they may throw script errors.
#pragma once

struct duk_hthread;

namespace rankora::components::script {

// Keeps the Date functions used here and puts JScript's text forms in place
// of Duktape's: toString, toDateString, toTimeString, toUTCString and
// toGMTString.
void InstallDateForms(duk_hthread* ctx);

// Pushes a Date for the platform date `date`.
void PushPlatformDate(duk_hthread* ctx, double date);

// True when the value at `index` is a Date pushed by PushPlatformDate; then
// `date` is its platform date now (NaN for an invalid Date).
bool PlatformDateOf(duk_hthread* ctx, int index, double& date);

}  // namespace rankora::components::script
