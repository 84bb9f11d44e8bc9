// The first letter of the first Mandarin reading of a GB2312 hanzi.
#pragma once

namespace rankora::dict {

inline constexpr int kPinyinFirstLead = 0xB0;
inline constexpr int kPinyinLeads = 0xF8 - 0xB0;
inline constexpr int kPinyinFirstTrail = 0xA1;
inline constexpr int kPinyinTrails = 0xFF - 0xA1;

// Rows by lead byte, letters by trail byte; ' ' where none is known.
extern const char* const kPinyinInitials[kPinyinLeads];

// The upper-case initial of the character lead:trail, or 0 outside the
// GB2312 hanzi area or where no reading is known.
inline char PinyinInitial(unsigned char lead, unsigned char trail) {
  if (lead < kPinyinFirstLead || lead >= kPinyinFirstLead + kPinyinLeads || trail < kPinyinFirstTrail ||
      trail >= kPinyinFirstTrail + kPinyinTrails) {
    return 0;
  }
  const char letter = kPinyinInitials[lead - kPinyinFirstLead][trail - kPinyinFirstTrail];
  return letter == ' ' ? 0 : letter;
}

}  // namespace rankora::dict
