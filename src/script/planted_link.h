#pragma once

#include <string>

namespace velmora::script {

// Whether opening `path` would follow a link that the kernel's rule for protected links
// refuses: a link in a sticky folder that everyone may write (such as /tmp), owned neither by
// the folder's owner nor by the user running. Another user can plant such a link to make a
// run overwrite a file of the user's; kernels with fs.protected_symlinks=0 follow it. Each
// component of the path is checked, and each link it leads through in turn.
bool isPlantedLink(const std::string& path);

}  // namespace velmora::script
