// The matching engine on Duktape's regular expressions, which are
// ECMAScript's, the dialect the platform's own come from. Each compiled
// pattern has a heap of its own, within the script heaps' memory limit.
// Duktape is only entered through protected calls, whose functions neither
// allocate in C++ nor throw.
#include <duktape.h>

#include <cstring>
#include <memory>
#include <utility>

#include "components/regexp/regexp_engine.h"
#include "components/script/script_heap_limits.h"

namespace rankora::components::regexp {
namespace {

// Duktape's "." and, with its "m" flag, ^ and $ know the platform's line
// terminators (CR, LF, U+2028, U+2029). A back reference is closed off so
// that a digit after it is not read as part of its number.
constexpr TargetSyntax kDuktapeSyntax{
    .backReferenceBefore = u"(?:\\",
    .backReferenceAfter = u")",
    .anyButTerminator = u".",
    .lineStart = u"^",
    .lineEnd = u"$",
};

// Duktape keeps a string as CESU-8: each UTF-16 unit, either half of a
// surrogate pair as well as a lone one, is one character of up to three
// bytes. Its character indices are then the text's UTF-16 indices.
std::string ToCesu8(std::u16string_view text) {
  std::string out;
  out.reserve(text.size());
  for (const char16_t unit : text) {
    const unsigned c = unit;
    if (c < 0x80) {
      out += static_cast<char>(c);
    } else if (c < 0x800) {
      out += static_cast<char>(0xC0 | (c >> 6));
      out += static_cast<char>(0x80 | (c & 0x3F));
    } else {
      out += static_cast<char>(0xE0 | (c >> 12));
      out += static_cast<char>(0x80 | ((c >> 6) & 0x3F));
      out += static_cast<char>(0x80 | (c & 0x3F));
    }
  }
  return out;
}

// The UTF-16 units of a string that Duktape made from ToCesu8's; a four-byte
// character, which it cannot hold, would be a surrogate pair.
std::u16string FromCesu8(const char* data, std::size_t size) {
  std::u16string out;
  out.reserve(size);
  const auto* bytes = reinterpret_cast<const unsigned char*>(data);
  for (std::size_t i = 0; i < size;) {
    const unsigned lead = bytes[i];
    const std::size_t length = lead < 0x80 ? 1 : lead < 0xE0 ? 2 : lead < 0xF0 ? 3 : 4;
    unsigned c = length == 1 ? lead : lead & (0x7F >> length);
    for (std::size_t k = 1; k < length && i + k < size; ++k) c = (c << 6) | (bytes[i + k] & 0x3F);
    i += length;
    if (c >= 0x10000) {
      out += static_cast<char16_t>(0xD800 + ((c - 0x10000) >> 10));
      out += static_cast<char16_t>(0xDC00 + ((c - 0x10000) & 0x3FF));
    } else {
      out += static_cast<char16_t>(c);
    }
  }
  return out;
}

// One Duktape heap, with its memory limit.
class Heap {
 public:
  Heap() : limits_(std::make_unique<script::HeapLimits>()) {
    limits_->timeout = script::kNoTimeout;
    ctx_ = duk_create_heap(script::Allocate, script::Reallocate, script::Free, limits_.get(), script::Fatal);
  }
  ~Heap() {
    if (ctx_ != nullptr) duk_destroy_heap(ctx_);
  }
  Heap(const Heap&) = delete;
  Heap& operator=(const Heap&) = delete;
  Heap(Heap&& other) noexcept : limits_(std::move(other.limits_)), ctx_(std::exchange(other.ctx_, nullptr)) {}
  Heap& operator=(Heap&& other) noexcept {
    if (this != &other) {
      if (ctx_ != nullptr) duk_destroy_heap(ctx_);
      ctx_ = std::exchange(other.ctx_, nullptr);
      limits_ = std::move(other.limits_);
    }
    return *this;
  }

  // Null when Duktape could not make the heap.
  duk_context* Context() const { return ctx_; }

 private:
  std::unique_ptr<script::HeapLimits> limits_;  // Duktape's user data: outlives ctx_
  duk_context* ctx_ = nullptr;
};

struct CompileCall {
  const std::string* pattern;
  const char* flags;
};

// [] -> [regexp]
duk_ret_t MakeRegExp(duk_context* ctx, void* udata) {
  const auto* call = static_cast<const CompileCall*>(udata);
  duk_get_global_string(ctx, "RegExp");
  duk_push_lstring(ctx, call->pattern->data(), call->pattern->size());
  duk_push_string(ctx, call->flags);
  duk_new(ctx, 2);
  return 1;
}

// [] -> [text]
duk_ret_t PushText(duk_context* ctx, void* udata) {
  const auto* text = static_cast<const std::string*>(udata);
  duk_push_lstring(ctx, text->data(), text->size());
  return 1;
}

// A string that the match result holds.
struct Piece {
  const char* data = nullptr;  // null: the group took no part
  duk_size_t size = 0;
};

struct ExecCall {
  duk_uint_t from = 0;
  bool found = false;
  duk_uint_t index = 0;
  Piece* pieces = nullptr;  // the whole match, then each group
  std::size_t count = 0;
};

// [regexp text] -> [regexp text result]; the pieces point into the result.
duk_ret_t Exec(duk_context* ctx, void* udata) {
  auto* call = static_cast<ExecCall*>(udata);
  duk_push_uint(ctx, call->from);
  duk_put_prop_string(ctx, -3, "lastIndex");
  duk_push_string(ctx, "exec");
  duk_dup(ctx, -2);
  duk_call_prop(ctx, -4, 1);
  call->found = !duk_is_null(ctx, -1);
  if (!call->found) return 1;
  duk_get_prop_string(ctx, -1, "index");
  call->index = duk_to_uint(ctx, -1);
  duk_pop(ctx);
  for (std::size_t i = 0; i < call->count; ++i) {
    duk_get_prop_index(ctx, -1, static_cast<duk_uarridx_t>(i));
    Piece& piece = call->pieces[i];
    piece.data = duk_is_string(ctx, -1) ? duk_get_lstring(ctx, -1, &piece.size) : nullptr;
    duk_pop(ctx);
  }
  return 1;
}

// The kind of a compile error, from Duktape's messages.
PatternError ErrorOf(std::string_view message) {
  auto says = [&](std::string_view words) { return message.find(words) != std::string_view::npos; };
  if (says("unterminated character class")) return PatternError::Bracket;
  if (says("unexpected end of pattern")) return PatternError::Parenthesis;
  if (says("invalid range")) return PatternError::Range;
  if (says("invalid regexp quantifier") || says("quantifier without preceding atom")) return PatternError::Quantifier;
  return PatternError::Syntax;
}

class DuktapeEngine final : public Engine {
 public:
  DuktapeEngine(std::u16string_view pattern, bool ignoreCase, bool multiline) {
    const Translation translated = Translate(pattern, multiline, kDuktapeSyntax);
    error_ = translated.error;
    if (error_ != PatternError::None) return;
    pieces_.resize(translated.groups + 1);
    duk_context* ctx = heap_.Context();
    if (ctx == nullptr) return;
    const std::string source = ToCesu8(translated.pattern);
    std::string flags = "g";
    if (ignoreCase) flags += 'i';
    if (multiline) flags += 'm';
    CompileCall call{&source, flags.c_str()};
    if (duk_safe_call(ctx, MakeRegExp, &call, 0, 1) != DUK_EXEC_SUCCESS) {
      const duk_errcode_t kind = duk_get_error_code(ctx, -1);
      const char* message = duk_safe_to_string(ctx, -1);
      error_ = kind == DUK_ERR_SYNTAX_ERROR ? ErrorOf(message) : PatternError::Syntax;
      duk_set_top(ctx, 0);
      return;
    }
    compiled_ = true;
  }

  PatternError Error() const override { return error_; }

  MatchStatus Next(std::u16string_view text, std::size_t from, Found& found) override {
    duk_context* ctx = heap_.Context();
    // Without a heap (no memory for one) nothing can be matched.
    if (!compiled_ || from > text.size()) return MatchStatus::Limit;
    if (!hasText_ || from == 0) {
      // The text is handed over once for all the matches in it.
      std::string bytes = ToCesu8(text);
      duk_set_top(ctx, 1);
      hasText_ = duk_safe_call(ctx, PushText, &bytes, 0, 1) == DUK_EXEC_SUCCESS;
      if (!hasText_) {
        duk_set_top(ctx, 1);
        return MatchStatus::Limit;
      }
    }
    ExecCall call;
    call.from = static_cast<duk_uint_t>(from);
    call.pieces = pieces_.data();
    call.count = pieces_.size();
    duk_dup(ctx, 0);
    duk_dup(ctx, 1);
    const bool ran = duk_safe_call(ctx, Exec, &call, 2, 1) == DUK_EXEC_SUCCESS;
    MatchStatus status = MatchStatus::None;
    if (!ran) {
      // Past the executor's recursion or step limit, or out of memory.
      status = MatchStatus::Limit;
    } else if (call.found) {
      status = MatchStatus::Found;
      found.start = call.index;
      found.end = call.index + FromCesu8(pieces_[0].data, pieces_[0].size).size();
      found.groups.assign(pieces_.size() - 1, std::nullopt);
      for (std::size_t g = 1; g < pieces_.size(); ++g) {
        if (pieces_[g].data != nullptr) found.groups[g - 1] = FromCesu8(pieces_[g].data, pieces_[g].size);
      }
    }
    duk_set_top(ctx, 2);
    return status;
  }

 private:
  Heap heap_;  // holds the RegExp object, then the text
  bool compiled_ = false;
  bool hasText_ = false;
  std::vector<Piece> pieces_;
  PatternError error_ = PatternError::None;
};

}  // namespace

std::unique_ptr<Engine> Compile(std::u16string_view pattern, bool ignoreCase, bool multiline) {
  return std::make_unique<DuktapeEngine>(pattern, ignoreCase, multiline);
}

}  // namespace rankora::components::regexp
