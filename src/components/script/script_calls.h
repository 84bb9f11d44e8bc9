// The bodies of the protected calls a ScriptHeap makes, with the data each
// takes (its udata): they run script code, reach script objects and define
// globals, and leave their outcome on the stack (see script_values.h).
// Duktape's hooks into the heap (the error thrower, the host trampoline) are
// here too.
#pragma once

#include <cstddef>
#include <string>
#include <vector>

#include "automation/component.h"
#include "components/script/script_values.h"

struct duk_hthread;

namespace rankora::components::script {

struct CodeData {
  const std::string* code;
  const std::string* chunk;  // its file name
  unsigned flags;
  unsigned key;
  bool compileFailed;
};

struct CallData {
  const std::string* name;
  std::vector<Encoded>* args;
  PushContext context;
  unsigned key;
  bool unknownName;
};

struct AccessData {
  unsigned target;
  const std::string* name;
  bool byValue;
  automation::InvokeKind kind;
  std::vector<Encoded>* args;
  PushContext context;
  unsigned key;
};

struct HasData {
  unsigned target;
  const std::string* name;
  bool found;
};

struct DefineData {
  const std::string* name;
  std::size_t host;
  const automation::TypeInfo* info;
  bool addMembers;
};

// Compiles and runs a CodeData's code.
int RunCode(duk_hthread* ctx, void* udata);
// Calls a CallData's global procedure.
int CallProcedure(duk_hthread* ctx, void* udata);
// Reads, writes or calls an AccessData's property of a stashed object.
int AccessProperty(duk_hthread* ctx, void* udata);
// Whether a HasData's stashed object has the property.
int HasProperty(duk_hthread* ctx, void* udata);
// Defines a DefineData's host object as a global.
int DefineGlobalObject(duk_hthread* ctx, void* udata);
// The global functions not among the builtins (udata: their names, CESU-8),
// as an array: name, argument count, ...
int ListProcedures(duk_hthread* ctx, void* udata);
// Sets a new heap up (udata: none).
int StartHeap(duk_hthread* ctx, void* udata);
// The global object, kept in the stash under *udata (a stash key).
int PushGlobal(duk_hthread* ctx, void* udata);

}  // namespace rankora::components::script
