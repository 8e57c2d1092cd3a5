// The openNURBS subset Tessaly uses (toolkit version 200707180): openNURBS's
// class names, member names and semantics, written for this project.
#pragma once

#include "opennurbs_defines.h"
#include "opennurbs_array.h"
#include "opennurbs_point.h"
#include "opennurbs_xform.h"
#include "opennurbs_geometry.h"
#include "opennurbs_mesh.h"
