#!/usr/bin/env python3
"""scripts/check_layers.py against planted violations.

Each case copies the project's layer folders into a temporary tree, plants one violation (an include or a
link that runs the wrong way, in each form the script must see through) and expects the script to fail
and to name the file; the untouched tree, and harmless relative includes, must pass.
"""
import pathlib
import shutil
import subprocess
import sys
import tempfile
import unittest

ROOT = pathlib.Path(__file__).resolve().parent.parent.parent
SCRIPT = ROOT / "scripts" / "check_layers.py"
NOT_COPIED = {"tests", "scripts", "cmake", ".git", ".ci"}


def run_check(root):
    result = subprocess.run([sys.executable, str(SCRIPT), "--root", str(root)], capture_output=True, text=True)
    return result.returncode, result.stdout + result.stderr


class CheckLayersTest(unittest.TestCase):
    def setUp(self):
        self._tmp = tempfile.TemporaryDirectory(prefix="hlx-layers-")
        self.tree = pathlib.Path(self._tmp.name)
        for folder in ROOT.iterdir():
            if (folder.is_dir() and (folder / "CMakeLists.txt").exists() and folder.name not in NOT_COPIED
                    and not folder.name.startswith(("build", "."))):
                shutil.copytree(folder, self.tree / folder.name,
                                ignore=shutil.ignore_patterns("data", "corpus", "*.png", "*.csv"))

    def tearDown(self):
        self._tmp.cleanup()

    def plant(self, relative, text):
        path = self.tree / relative
        path.parent.mkdir(parents=True, exist_ok=True)
        with open(path, "a") as out:
            out.write(text)

    def assertFailsNaming(self, needle):
        code, output = run_check(self.tree)
        self.assertEqual(1, code, output)
        self.assertIn(needle, output)

    def assertPasses(self):
        code, output = run_check(self.tree)
        self.assertEqual(0, code, output)

    def test_the_real_tree_passes(self):
        code, output = run_check(ROOT)
        self.assertEqual(0, code, output)

    def test_the_copied_tree_passes(self):
        self.assertPasses()

    def test_quoted_include_from_a_higher_layer_fails(self):
        self.plant("base/planted.h", '#include "firmware/hex_image.h"\n')
        self.assertFailsNaming("base/planted.h includes from firmware/")

    def test_angle_bracket_include_from_a_higher_layer_fails(self):
        self.plant("base/planted.h", "#include <firmware/hex_image.h>\n")
        self.assertFailsNaming("base/planted.h includes from firmware/")

    def test_spaced_out_include_fails_too(self):
        self.plant("base/planted.cpp", "  #  include<firmware/hex_image.h>\n")
        self.assertFailsNaming("base/planted.cpp includes from firmware/")

    def test_relative_include_from_a_higher_layer_fails(self):
        self.plant("output/planted.cpp", '#include "../firmware/hex_image.h"\n')
        self.assertFailsNaming("output/planted.cpp includes from firmware/")

    def test_relative_include_from_a_nested_folder_fails(self):
        self.plant("output/nested/planted.cpp", '#include "../../firmware/hex_image.h"\n')
        self.assertFailsNaming("output/nested/planted.cpp includes from firmware/")

    def test_include_of_a_folder_that_is_not_linked_fails(self):
        self.plant("imaging/planted.cpp", '#include "serial/link.h"\n')
        self.assertFailsNaming("imaging/planted.cpp includes from serial/, but no target of imaging/ links")

    def test_link_upward_fails(self):
        self.plant("output/CMakeLists.txt", "target_link_libraries(hlx_output PUBLIC hlx::firmware)\n")
        self.assertFailsNaming("output/CMakeLists.txt links a target of firmware/")

    def test_link_upward_by_the_plain_target_name_fails(self):
        self.plant("serial/CMakeLists.txt", "target_link_libraries(hlx_serial PRIVATE hlx_jobs)\n")
        self.assertFailsNaming("serial/CMakeLists.txt links a target of jobs/")

    def test_link_upward_in_a_nested_cmake_file_fails(self):
        self.plant("base/extra/CMakeLists.txt", "link_libraries(hlx::output)\n")
        self.assertFailsNaming("base/extra/CMakeLists.txt links a target of output/")

    def test_link_between_siblings_of_one_layer_fails(self):
        self.plant("imaging/CMakeLists.txt", "target_link_libraries(hlx_imaging PUBLIC hlx::charts)\n")
        self.assertFailsNaming("imaging/CMakeLists.txt links a target of charts/")

    def test_terminal_may_not_use_firmware(self):
        self.plant("terminal/CMakeLists.txt", "target_link_libraries(hlx_terminal PUBLIC hlx::firmware)\n")
        self.plant("terminal/planted.cpp", '#include "firmware/hex_image.h"\n')
        self.assertFailsNaming("terminal/planted.cpp includes from firmware/, which terminal/ may not use")

    def test_firmware_may_not_use_terminal(self):
        self.plant("firmware/CMakeLists.txt", "target_link_libraries(hlx_firmware PUBLIC hlx::terminal)\n")
        self.assertFailsNaming("firmware/CMakeLists.txt links a target of terminal/")

    def test_cli_may_not_include_from_app(self):
        self.plant("cli/planted.cpp", '#include "app/main_window_logic.h"\n')
        self.assertFailsNaming("cli/planted.cpp includes from app/")

    def test_cli_may_not_link_app(self):
        self.plant("cli/CMakeLists.txt", "target_link_libraries(hlx PRIVATE hlx::app_logic)\n")
        self.assertFailsNaming("cli/CMakeLists.txt links a target of app/")

    def test_app_may_not_use_cli(self):
        self.plant("app/planted.cpp", '#include "cli/job_command.h"\n')
        self.assertFailsNaming("app/planted.cpp includes from cli/")

    def test_runner_may_not_use_app(self):
        self.plant("runner/CMakeLists.txt", "target_link_libraries(hlx_runner PUBLIC hlx::app_logic)\n")
        self.assertFailsNaming("runner/CMakeLists.txt links a target of app/")

    def test_the_simulators_are_used_by_cli_alone(self):
        self.plant("app/CMakeLists.txt", "target_link_libraries(hlx_app_logic PRIVATE hlx::monitor_sim)\n")
        self.assertFailsNaming("app/CMakeLists.txt links a target of tools/")

    def test_the_simulators_use_nothing_above_base(self):
        self.plant("tools/CMakeLists.txt", "target_link_libraries(hlx_monitor_sim PRIVATE hlx::serial)\n")
        self.plant("tools/planted.cpp", '#include "serial/link.h"\n')
        self.assertFailsNaming("tools/planted.cpp includes from serial/, which tools/ may not use")

    def test_a_link_in_a_comment_is_no_link(self):
        self.plant("output/CMakeLists.txt", "# output must never link hlx::firmware\n")
        self.assertPasses()

    def test_relative_and_system_includes_that_keep_the_layers_pass(self):
        self.plant("output/planted.cpp", '#include "../base/status.h"\n#include "output_log.h"\n'
                   "#include <vector>\n#include <sys/stat.h>\n")
        self.assertPasses()


if __name__ == "__main__":
    unittest.main()
