// A lookup step that a component could not carry out, in words: which
// component, what it could not do, and the platform's code, so that a
// missing component reads as a failure and never as an answer without data.
#pragma once

#include <string>
#include <string_view>

#include "automation/hresult.h"

namespace rankora::lookup {

enum class ComponentStep { kCreate, kRun };

// "组件 ScriptControl 无法创建（0x80040154）" or "组件 ScriptControl 无法运行脚本
// （0x80020101）", UTF-8.
std::string ComponentFailure(std::string_view component, ComponentStep step, automation::HRESULT code);

// Who answers each component the lookups use, one line each ("ScriptControl:
// 平台", "VBScript.RegExp: 内置", "Scripting.Dictionary: 无（0x800401F3）"),
// UTF-8, lines separated by "\n". Asks each class once; call inside an
// apartment.
std::string ComponentProviders();

}  // namespace rankora::lookup
