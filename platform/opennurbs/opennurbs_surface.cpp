#include "opennurbs_surface.h"

ON_Surface::~ON_Surface() = default;

bool ON_Surface::IsPeriodic(int) const { return false; }
