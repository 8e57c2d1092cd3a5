// ON_Color: a colour of four 8-bit channels, red, green, blue and alpha.
#pragma once

class ON_Color {
 public:
  // Black, alpha 0.
  ON_Color() = default;
  // The channels clamped to 0..255; the three-channel form gives alpha 0.
  ON_Color(int red, int green, int blue);
  ON_Color(int red, int green, int blue, int alpha);

  // Sets the channels, each clamped to 0..255.
  void SetRGBA(int red, int green, int blue, int alpha);

  int Red() const { return m_color & 0xFF; }
  int Green() const { return (m_color >> 8) & 0xFF; }
  int Blue() const { return (m_color >> 16) & 0xFF; }
  int Alpha() const { return (m_color >> 24) & 0xFF; }

  bool operator==(const ON_Color& other) const { return m_color == other.m_color; }
  bool operator!=(const ON_Color& other) const { return m_color != other.m_color; }

 private:
  // Red in the lowest byte, then green, blue and alpha.
  unsigned int m_color = 0;
};
