#!/usr/bin/env python3
"""The layout check against small trees with one fault each, so that a check that
stops seeing faults (a folder renamed, a pattern broken) fails here and not silently."""

import sys
import tempfile
import unittest
from pathlib import Path
from unittest import mock

sys.dont_write_bytecode = True   # nothing written into the source tree
sys.path.insert(0, str(Path(__file__).resolve().parent))
import check_layout  # noqa: E402


class LayoutCheck(unittest.TestCase):
    def setUp(self):
        # The real tree's known circles are not in these trees.
        patch = mock.patch.object(check_layout, "KNOWN_CIRCLES", set())
        patch.start()
        self.addCleanup(patch.stop)

    def tree(self, files):
        """A source tree holding files (path: text), with the platform's system headers."""
        folder = tempfile.TemporaryDirectory()
        self.addCleanup(folder.cleanup)
        root = Path(folder.name)
        for name, text in {"platform/include/windows.h": "", **files}.items():
            (root / name).parent.mkdir(parents=True, exist_ok=True)
            (root / name).write_text(text)
        return root

    def test_a_clean_tree_passes_every_check(self):
        root = self.tree({
            "platform/files/File.h": "#include <windows.h>\n#include <string>\n",
            "support/Log.h": '#include "platform/files/File.h"\n',
            "support/Log.cpp": '#include "support/Log.h"\n',
            "host/Page.cpp": '#include "platform/files/File.h"\n',
            "tests/host/PageTest.cpp": '#include "Helper.h"\n#include "common/Fixture.h"\n',
            "tests/host/Helper.h": "",
            "tests/common/Fixture.h": "",
        })
        for check in check_layout.CHECKS.values():
            self.assertEqual(check(root), [])

    def test_style_names_every_other_way_of_writing_an_include(self):
        root = self.tree({
            "intake/Names.h": "",
            "intake/Names.cpp": '#include "Names.h"\n#include "../intake/Names.h"\n#include <intake/Names.h>\n'
                                '#include "windows.h"\n',
        })
        self.assertEqual([fault.split(": ", 1)[0] for fault in check_layout.check_style(root)],
                         ["intake/Names.cpp:1", "intake/Names.cpp:2", "intake/Names.cpp:3", "intake/Names.cpp:4"])

    def test_circles_through_cpp_files_and_between_layers(self):
        root = self.tree({
            "support/A.h": "", "support/A.cpp": '#include "support/B.h"\n',
            "support/B.h": "", "support/B.cpp": '#include "support/C.h"\n',
            "support/C.h": "", "support/C.cpp": '#include "support/A.h"\n',
            "decode/D.h": '#include "progress/P.h"\n',
            "progress/P.h": "", "progress/P.cpp": '#include "decode/E.h"\n',
            "decode/E.h": "",
        })
        faults = check_layout.check_circles(root)
        self.assertIn("include circle between files: support/A, support/B, support/C", faults)
        self.assertIn("include circle between folders: decode, progress", faults)

    def test_a_known_circle_passes_only_while_it_stays_as_listed(self):
        root = self.tree({"objects/X.h": '#include "objects/Y.h"\n', "objects/Y.h": '#include "objects/X.h"\n'})
        check_layout.KNOWN_CIRCLES.add(("objects/X", "objects/Y"))
        self.assertEqual(check_layout.check_circles(root), [])
        (root / "objects/Y.h").write_text("")
        self.assertEqual(check_layout.check_circles(root),
                         ["the known circle objects/X, objects/Y is gone or changed: update KNOWN_CIRCLES"])

    def test_host_may_not_reach_the_component_even_through_another_header(self):
        root = self.tree({
            "host/Page.cpp": '#include "cli/Shared.h"\n',
            "cli/Shared.h": '#include "objects/XForm.h"\n',
            "objects/XForm.h": "",
        })
        self.assertEqual(check_layout.check_host(root),
                         ["cli/Shared.h:1: host reaches the component: cli/Shared -> objects/XForm"])


if __name__ == "__main__":
    unittest.main()
