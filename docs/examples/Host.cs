// A C# host over bindings/csharp/PovUpdate.cs: names the update file and the
// install directory, then walks the update list, compares each offered
// version with the installed one and, once installed, records it.
using System;

static class Host
{
    static int Main()
    {
        try
        {
            Console.WriteLine("update file: " + PovUpdate.Library.UpdateFileName());
            Console.WriteLine("install directory: " + PovUpdate.Library.InstallPath());
            foreach (var offered in PovUpdate.Library.UpdateEntries())
            {
                string installed = PovUpdate.Library.LocalVersion(offered.Name);
                Console.WriteLine(offered.Name + ": offered " + offered.Version + ", installed " +
                                  (installed != "" ? installed : "none"));
                if (installed != offered.Version)
                {
                    // Here a real host downloads offered.DownLoadPath, checks
                    // offered.MD5 and runs the installer into offered.InstallPath.
                    PovUpdate.Library.RecordVersion(offered.Name, offered.Version);
                    Console.WriteLine(offered.Name + ": recorded " + offered.Version);
                }
            }
            return 0;
        }
        catch (PovUpdate.PovUpdateException error)
        {
            Console.Error.WriteLine(error.Message);
            return 1;
        }
    }
}
