"""Applications sign their launcher after it is built. The signature goes behind the block and
the PE header gains a certificate table; the launcher must still find its block through the
last section and never take the signature for configuration.
"""
import subprocess
import unittest
from pathlib import Path

import harness
from config_block import block_fields
from pe_image import DIRECTORY_SECURITY, PeImage

SETTINGS = {1000: "Error", 1016: harness.NO_JVM_MESSAGE, 2001: "i"}


class SignedLauncherTest(harness.WineTestCase):
    @classmethod
    def setUpClass(cls) -> None:
        super().setUpClass()
        cls.openssl = harness.required_program("openssl")
        cls.osslsigncode = harness.required_program("osslsigncode")

    def tool(self, *command: str) -> None:
        completed = subprocess.run(command, stdin=subprocess.DEVNULL, capture_output=True,
                                   text=True, timeout=120, cwd=self.scratch)
        self.assertEqual(completed.returncode, 0, f"{command[0]}: {completed.stderr}")

    def sign(self, unsigned: Path, signed: Path) -> None:
        key, certificate = self.scratch / "key.pem", self.scratch / "cert.pem"
        self.tool(self.openssl, "req", "-x509", "-newkey", "rsa:2048", "-nodes", "-days", "2",
                  "-subj", "/CN=Kestrowan e2e test signer", "-keyout", str(key),
                  "-out", str(certificate))
        self.tool(self.osslsigncode, "sign", "-certs", str(certificate), "-key", str(key),
                  "-n", "Kestrowan e2e", "-in", str(unsigned), "-out", str(signed))

    def test_signed_launcher_still_reads_its_block(self) -> None:
        unsigned = self.build("unsigned.exe", SETTINGS)
        signed = self.scratch / "signed.exe"
        self.sign(unsigned, signed)

        # The signing must really have happened for the run below to mean anything.
        before, after = PeImage.from_file(unsigned), PeImage.from_file(signed)
        last_field = block_fields(before.data, before.end_of_last_section)[-1]
        table = after.directory(DIRECTORY_SECURITY)
        self.assertEqual(before.directory(DIRECTORY_SECURITY).size, 0)
        self.assertGreater(table.size, 0)
        # This directory holds a file offset, not an address.
        self.assertGreaterEqual(table.rva, last_field.offset + last_field.size)
        self.assertEqual(after.end_of_last_section, before.end_of_last_section)

        result = self.run_launcher(signed)
        self.assertRun(result, 83,
                       harness.as_console_text(harness.NO_JVM_MESSAGE.replace("{0}", "64")))


if __name__ == "__main__":
    unittest.main()
