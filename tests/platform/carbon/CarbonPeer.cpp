// A second process for the tests: it does one thing with the platform stand-ins and prints what
// it found, so that tests check what crosses a process boundary.
#include <cstdio>
#include <cstring>
#include <string>

#include "platform/carbon/Aliases.h"
#include "platform/carbon/Resources.h"

namespace {

FSRef refAt(const char* path) {
  FSRef ref{};
  FSPathMakeRef(reinterpret_cast<const UInt8*>(path), &ref, nullptr);
  return ref;
}

// resolve-alias FILE: the 'alis' 128 resource of FILE, resolved; prints the target's path.
int resolveAlias(const char* file) {
  const FSRef ref = refAt(file);
  const ResFileRefNum res = FSOpenResFile(&ref, fsRdPerm);
  if (res == -1) return std::printf("error %d\n", ResError()), 1;
  Handle h = Get1Resource('alis', 128);
  if (!h) return std::printf("error %d\n", ResError()), 1;
  FSRef target;
  Boolean changed = false;
  const OSErr err = FSResolveAliasWithMountFlags(nullptr, reinterpret_cast<AliasHandle>(h), &target, &changed, 0);
  ReleaseResource(h);
  CloseResFile(res);
  if (err) return std::printf("error %d\n", err), 1;
  UInt8 path[4096];
  FSRefMakePath(&target, path, sizeof path);
  std::printf("%s%s\n", reinterpret_cast<char*>(path), changed ? " (moved)" : "");
  return 0;
}

}  // namespace

int main(int argc, char** argv) {
  if (argc == 3 && !std::strcmp(argv[1], "resolve-alias")) return resolveAlias(argv[2]);
  std::fprintf(stderr, "usage: carbon-peer resolve-alias FILE\n");
  return 2;
}
