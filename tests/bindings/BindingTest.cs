// The C# binding over the Linux library, in the directory and registry store
// that the environment names (POVUPDATE_MODULE_DIR, POVUPDATE_REGISTRY_DIR).
using System;
using System.IO;
using PovUpdate;

static class BindingTest
{
    static int failures;

    static void Expect(bool holds, string what)
    {
        if (holds) return;
        Console.Error.WriteLine("FAIL: " + what);
        failures++;
    }

    // The result code a call fails with, null for a failure without one; -1
    // when it doesn't fail.
    static int? CodeOf(Action call)
    {
        try { call(); }
        catch (PovUpdateException error) { return error.Code; }
        return -1;
    }

    // The argument a call refuses before calling the library, with the
    // exception's type.
    static string RefusedArgument(Action call)
    {
        try { call(); }
        catch (ArgumentException error) { return error.GetType().Name + " " + error.ParamName; }
        return "nothing refused";
    }

    // Without the library: the error names every place looked in.
    static int Missing()
    {
        try { Library.UpdateFileName(); }
        catch (PovUpdateException error)
        {
            Console.WriteLine(error.Code == null ? error.Message : "code " + error.Code);
            return 0;
        }
        return 1;
    }

    static int Main(string[] arguments)
    {
        if (arguments.Length == 1 && arguments[0] == "missing") return Missing();
        string dir = Environment.GetEnvironmentVariable("POVUPDATE_MODULE_DIR");
        File.WriteAllText(Path.Combine(dir, "Update_6.1.ini"),
                          "[SOFTWARE]\r\n1=PovViewer\r\n\r\n[PovViewer]\r\nVersion=2.4.10\r\nInstallPath=1opt/Pov\r\n");

        Expect(Library.UpdateFileName() == "Update_6.1.ini", "update file name");
        var entries = new System.Collections.Generic.List<UpdateEntry>(Library.UpdateEntries());
        Expect(entries.Count == 1 && entries[0].Name == "PovViewer" && entries[0].Version == "2.4.10" &&
               entries[0].InstallPath == "/opt/Pov" && entries[0].Size == "", "the walk");
        Expect(entries[0].ToString() == "UpdateEntry(Name=PovViewer, Version=2.4.10, DownLoadPath=, MD5=, " +
               "InstallType=, InstallPath=/opt/Pov, InstallParmeter=, Size=)", "an entry prints its fields");

        Expect(Library.LocalVersion("PovViewer") == "", "nothing recorded yet");
        Library.RecordVersion("PovViewer", "2.4.10");
        Expect(Library.LocalVersion("PovViewer") == "2.4.10", "the version recorded");

        Expect(Library.InstallPath() == Path.Combine(dir, "Install"), "the default install path");
        // A string argument would be a marshalled copy with no room to extend.
        Expect(Library.SetInstallPath("/opt/pov") == "/opt/pov/Install", "install path extended in place");
        Expect(Library.InstallPath() == "/opt/pov/Install", "install path read back");

        Expect(CodeOf(() => Library.RecordVersion("Pov\nViewer", "1")) == 11, "a name with a line break");
        Expect(CodeOf(() => Library.SetInstallPath("/" + new string('a', 252))) == 53, "a path too long");

        // A key file beside an unsigned update file: the walk is refused.
        File.WriteAllText(Path.Combine(dir, "PovUpdate.pub"), "");
        try
        {
            new System.Collections.Generic.List<UpdateEntry>(Library.UpdateEntries());
            Expect(false, "an untrusted update file");
        }
        catch (UntrustedUpdateFileException error)
        {
            Expect(error.Code == UntrustedUpdateFileException.UntrustedUpdateFile, "an untrusted update file");
        }
        File.Delete(Path.Combine(dir, "PovUpdate.pub"));

        // A NUL would cut the text short; null is named as the argument.
        Expect(RefusedArgument(() => Library.RecordVersion("a\0b", "1")) == "ArgumentException name", "NUL in a name");
        Expect(RefusedArgument(() => Library.RecordVersion("a", "1\0")) == "ArgumentException version", "NUL in a version");
        Expect(RefusedArgument(() => Library.SetInstallPath("/opt/a\0b")) == "ArgumentException path", "NUL in a path");
        Expect(RefusedArgument(() => Library.LocalVersion(null)) == "ArgumentNullException name", "a null name");
        Expect(RefusedArgument(() => Library.RecordVersion("a", null)) == "ArgumentNullException version", "a null version");
        Expect(Library.LocalVersion("a") == "", "nothing recorded for a refused name");

        Library.DeleteUpdateFile();
        Expect(!File.Exists(Path.Combine(dir, "Update_6.1.ini")), "update file deleted");
        Expect(new System.Collections.Generic.List<UpdateEntry>(Library.UpdateEntries()).Count == 0,
               "no update file, no entries");

        // A file where the registry store's directory should be: no key.
        string notADirectory = Path.Combine(dir, "not-a-directory");
        File.WriteAllText(notADirectory, "");
        Environment.SetEnvironmentVariable("POVUPDATE_REGISTRY_DIR", notADirectory);
        Expect(CodeOf(() => Library.InstallPath()) == null, "no install path to be had, and no code");
        Expect(RefusedArgument(() => new PovUpdateException(0, "")) == "ArgumentOutOfRangeException code",
               "no failure carries code 0");

        Console.WriteLine(failures == 0 ? "C# binding: ok" : "C# binding: " + failures + " failures");
        return failures == 0 ? 0 : 1;
    }
}
