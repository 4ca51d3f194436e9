#include "report/volume_path.h"

#include <cstdlib>

#include "platform/platform.h"
#include "text/units.h"

namespace {

Stop stop_of(Lookup answer) {
  return answer == Lookup::kNoAnswer ? Stop::kNoAnswer : Stop::kUnreadable;
}

bool is_drive_root(const char16_t* path) {
  return units_length(path) == 3 && path[1] == u':' && path[2] == u'\\';
}

// "\\server\share\"; "\\?\..." is a volume name.
bool is_share_root(const char16_t* path) {
  return path[0] == u'\\' && path[1] == u'\\' && path[2] != u'?';
}

// The path among a volume's `paths` that is `volume_path` but for the case
// of its letters: the spelling the system lists the volume under.
const char16_t* listed_spelling(const char16_t* paths, const char16_t* volume_path) {
  for (const char16_t* p = paths; *p; p += units_length(p) + 1) {
    if (units_equal_ignore_case(p, volume_path)) return p;
  }
  return nullptr;
}

// The spelling of the volume mounted at `volume_path` among its paths;
// null with kNone where nothing of the system's own is mounted there.
Stop listed_name(DriveAsking* drive, const char16_t* volume_path, char16_t** name) {
  *name = nullptr;
  char16_t* volume = nullptr;
  const Lookup named = plat_volume_name_of(drive, volume_path, &volume);
  // Wine names the folder of any mount point of its host as a volume path,
  // yet mounts no volume of its own there: the path's drive stands.
  if (named != Lookup::kOk) return named == Lookup::kNoAnswer ? Stop::kNoAnswer : Stop::kNone;
  char16_t* paths = nullptr;
  const Lookup listed = plat_volume_paths(drive, volume, &paths);
  free(volume);
  if (listed == Lookup::kNoAnswer) return Stop::kNoAnswer;
  // Without the list (Windows 2000 has none), the path as typed.
  const char16_t* spelled = listed == Lookup::kOk ? listed_spelling(paths, volume_path) : nullptr;
  if (!spelled) spelled = volume_path;
  *name = units_copy(spelled, units_length(spelled));
  free(paths);
  // A thread cannot end the run for want of memory: the drive fails.
  return *name ? Stop::kNone : Stop::kUnreadable;
}

}  // namespace

Stop find_volume(DriveAsking* drive, const char16_t* path, char** root, char16_t** wide_root) {
  *root = nullptr;
  *wide_root = nullptr;
  char16_t* volume_path = nullptr;
  const Lookup found = plat_volume_path_name(drive, path, &volume_path);
  if (found == Lookup::kMissing) return Stop::kNone;
  if (found != Lookup::kOk) return stop_of(found);
  char16_t* name = volume_path;
  Stop stop = Stop::kNone;
  if (!is_drive_root(volume_path) && !is_share_root(volume_path)) {
    stop = listed_name(drive, volume_path, &name);
    free(volume_path);
  }
  if (!name) return stop;
  const size_t length = units_length(name);
  // Every root ends in a backslash, which its name leaves out.
  char* narrow = length > 0 && name[length - 1] == u'\\' ? plat_shift_jis(name, length) : nullptr;
  if (!narrow) {
    free(name);
    return Stop::kUnreadable;
  }
  // The letter as the roots of drive letters show it.
  if (narrow[0] >= 'a' && narrow[0] <= 'z' && narrow[1] == ':') {
    narrow[0] = static_cast<char>(narrow[0] - 'a' + 'A');
    name[0] = static_cast<char16_t>(narrow[0]);
  }
  *root = narrow;
  *wide_root = name;
  return Stop::kNone;
}
