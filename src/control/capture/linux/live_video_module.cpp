// The live video from the module beside the program, loaded only for
// pitchlog --video.
#include <dlfcn.h>

#include <filesystem>
#include <system_error>

#include "control/capture/live_video.h"

namespace pitchlog {

frame_source live_video_source(const std::string& address, std::ostream& error) {
  frame_source refused;
  refused.name = address;
  std::error_code failed;
  const std::filesystem::path exe = std::filesystem::read_symlink("/proc/self/exe", failed);
  std::string why;
  if (failed) {
    why = "cannot find pitchlog's folder (" + failed.message() + ")";
  } else {
    const std::filesystem::path module = exe.parent_path() / live_video_module_file;
    void* handle = dlopen(module.c_str(), RTLD_NOW | RTLD_LOCAL);
    const auto entry =
        handle ? reinterpret_cast<live_video_entry>(dlsym(handle, live_video_symbol)) : nullptr;
    if (entry != nullptr) {
      // The module stays loaded: the source's functions live in it.
      frame_source source;
      entry(address, error, source);
      return source;
    }
    why = std::string("cannot watch a video (") +
          (handle ? module.string() + " lacks its entry" : dlerror()) + ")";
    if (handle) dlclose(handle);
  }
  refused.open = [why](std::string& said) {
    said = why;
    return false;
  };
  return refused;
}

}  // namespace pitchlog
