#include "automation/component.h"

#include "automation/name.h"

namespace rankora::automation {
namespace {

std::string IndexKey(std::string_view name, InvokeKind kind) {
  std::string key = FoldName(name);
  key += static_cast<char>('0' + static_cast<int>(kind));
  return key;
}

const InvokeKind kVariableKinds[] = {InvokeKind::PropertyGet, InvokeKind::PropertyPut, InvokeKind::PropertyPutRef};

}  // namespace

std::size_t MemberDesc::RequiredCount() const {
  std::size_t required = 0;
  for (const ParamDesc& param : params) {
    if (!param.optional) ++required;
  }
  return required;
}

TypeInfo::TypeInfo(std::vector<MemberDesc> members) : members_(std::move(members)) {
  for (std::size_t i = 0; i < members_.size(); ++i) {
    const MemberDesc& member = members_[i];
    if (member.variable) {
      for (const InvokeKind kind : kVariableKinds) index_.emplace(IndexKey(member.name, kind), i);
    } else {
      index_.emplace(IndexKey(member.name, member.kind), i);
    }
  }
}

const MemberDesc* TypeInfo::Bind(std::string_view name, InvokeKind kind) const {
  const auto found = index_.find(IndexKey(name, kind));
  return found == index_.end() ? nullptr : &members_[found->second];
}

const Variant& CallArgs::operator[](std::size_t index) const {
  static const Variant missing = Variant::Missing();
  return index < args_.size() ? args_[index].Deref() : missing;
}

const MemberDesc* Component::Bind(std::string_view name, InvokeKind kind) {
  const TypeInfo* typeInfo = GetTypeInfo();
  return typeInfo == nullptr ? nullptr : typeInfo->Bind(name, kind);
}

HRESULT Component::GetIdOfName(std::u16string_view /*name*/, DispId& /*id*/) { return E_NOTIMPL; }

bool Component::AddRefIfAlive() const {
  std::uint32_t refs = refs_.load(std::memory_order_relaxed);
  while (refs != 0) {
    if (refs_.compare_exchange_weak(refs, refs + 1, std::memory_order_acq_rel)) return true;
  }
  return false;
}

void Component::Release() const {
  if (refs_.fetch_sub(1, std::memory_order_acq_rel) == 1) delete this;
}

HRESULT Raise(ExcepInfo& excep, HRESULT code, std::u16string description, std::u16string source) {
  excep.code = code;
  excep.description = std::move(description);
  excep.source = std::move(source);
  return DISP_E_EXCEPTION;
}

}  // namespace rankora::automation
