// SitePaths.h: maps virtual (site-relative) paths to physical paths below one site
// root, refusing anything that would leave the root: ".." beyond it, or a symbolic
// link that points outside.
//
//   ferrolift::host::SitePaths thePaths("/srv/site");
//   std::string thePhysical;
//   thePaths.MapPath("photo.jpg", "/uploads/", thePhysical);   // /srv/site/uploads/photo.jpg
//   thePaths.MapPath("/../etc/passwd", "/", thePhysical);       // false
#pragma once

#include <string>
#include <string_view>

namespace ferrolift::host {

/// Virtual-to-physical path mapping confined to a site root.
class SitePaths {
public:
    /// inRoot must name an existing folder; it is made canonical (symbolic links
    /// resolved). Valid() is false when it does not exist.
    explicit SitePaths(const std::string& inRoot);

    bool Valid() const { return !mRoot.empty(); }
    /// The canonical root, without a trailing slash.
    const std::string& Root() const { return mRoot; }

    /// Maps inPath: with a leading "/" (or "\") from the root, else from the virtual
    /// folder inBaseDir ("/dir/" or "/dir"). Backslashes count as slashes. Returns
    /// false when the path climbs above the root, holds a NUL, or reaches outside the
    /// root through a symbolic link.
    bool MapPath(std::string_view inPath, std::string_view inBaseDir, std::string& outPhysical) const;

    /// Normalises a virtual path ("/a/./b/../c" to "/a/c"); false when it climbs above
    /// the root. The result starts with "/" and has no trailing slash unless it is "/".
    static bool NormalizeVirtual(std::string_view inPath, std::string_view inBaseDir, std::string& outVirtual);

    /// The virtual folder of a virtual file path: "/a/b.asp" gives "/a/".
    static std::string VirtualFolder(std::string_view inVirtualFile);

    /// True when inPhysical (which may not exist yet) lies inside the root once its
    /// existing part is resolved.
    bool Contains(const std::string& inPhysical) const;

private:
    std::string mRoot;
};

}  // namespace ferrolift::host
