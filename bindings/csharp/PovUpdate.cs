// PovUpdate for .NET and Mono hosts: a small safe class over the seven
// exports.
//
// The library is loaded on first use, by the binding itself, so that .NET
// and Mono find it alike with no <dllmap> and no link made by hand: on
// Windows PovUpdate.dll, on Linux libpovupdate.so beside this assembly (or
// in its package's runtimes/<rid>/native folder), else the installed
// libpovupdate.so.1 wherever the system looks for libraries. The function
// that releases the library's texts is bound together with the exports:
// the library is used with both or not at all.
//
// Every text the library hands out arrives as an IntPtr, is copied into a
// string and released: with CoTaskMemFree on Windows, with the process's
// free on Linux (the library's malloc is the process's). A string field or
// return type would let the marshaller release the block its own way, or
// not at all.
using System;
using System.Collections.Generic;
using System.IO;
using System.Runtime.InteropServices;
using System.Text;

namespace PovUpdate
{
    // One entry of the update list, or the texts of a local item (only Name
    // and Version set). The field names are the update file's keys.
    public sealed class UpdateEntry
    {
        public string Name { get; internal set; }
        public string Version { get; internal set; }
        public string DownLoadPath { get; internal set; }
        public string MD5 { get; internal set; }
        public string InstallType { get; internal set; }
        public string InstallPath { get; internal set; }
        public string InstallParmeter { get; internal set; }
        public string Size { get; internal set; }

        public override string ToString()
        {
            return "UpdateEntry(Name=" + Name + ", Version=" + Version + ", DownLoadPath=" + DownLoadPath +
                   ", MD5=" + MD5 + ", InstallType=" + InstallType + ", InstallPath=" + InstallPath +
                   ", InstallParmeter=" + InstallParmeter + ", Size=" + Size + ")";
        }
    }

    // A call failed. Code is the library's result code, null when it gave
    // none (a text export returned no text, or the library can't be loaded).
    public class PovUpdateException : Exception
    {
        public int? Code { get; private set; }

        // 0 is success: a failure has a code of its own, or none.
        public PovUpdateException(int? code, string message) : base(message)
        {
            if (code == 0) throw new ArgumentOutOfRangeException("code", "0 is success, not a failure");
            Code = code;
        }

        // The result codes that have an exception class of their own.
        static readonly Dictionary<int, Func<int, string, PovUpdateException>> Classes =
            new Dictionary<int, Func<int, string, PovUpdateException>> {
                { 60, (c, m) => new UntrustedUpdateFileException(c, m) },
            };

        // The exception of a result code.
        internal static PovUpdateException For(int code)
        {
            string message = "PovUpdate error " + code + ": " + Messages.Of(code);
            Func<int, string, PovUpdateException> make;
            return Classes.TryGetValue(code, out make) ? make(code, message) : new PovUpdateException(code, message);
        }
    }

    // Result 60: the host ships PovUpdate.pub and the update file is not to
    // be believed. Install nothing, tell the user, try again later.
    public sealed class UntrustedUpdateFileException : PovUpdateException
    {
        public const int UntrustedUpdateFile = 60;

        public UntrustedUpdateFileException(int code, string message) : base(code, message) { }
    }

    static class Messages
    {
        // The sentence of each result code, as povupdate.h gives it;
        // tests/facts_check.py holds this copy, the record's fields and
        // InstallRoom to the library's.
        static readonly Dictionary<int, string> Sentences = new Dictionary<int, string> {
            { 1, "enumeration cursor below 1" },
            { 2, "the index lookup read nothing but left text" },
            { 4, "no memory for a value read buffer, or for the profile service's read" },
            { 6, "no memory for a copy of a value or a record field" },
            { 10, "internal: value-slot index outside 0 to 7" },
            { 11, "null pointer, a name or version the file can't hold as given, or no memory to copy it" },
            { 12, "no memory for a copy of the section name" },
            { 13, "the local configuration file refused the write" },
            { 21, "internal: registry path without a root digit (read, write)" },
            { 22, "a registry key can't be opened or created" },
            { 23, "internal: registry path without a root digit (create)" },
            { 24, "the registry refused to store the value" },
            { 40, "no memory for a probed registry value" },
            { 44, "a registry value can't be read" },
            { 51, "SetSaveFilePath was given a null path" },
            { 52, "the install key can't be created" },
            { 53, "the install path would pass 259 characters" },
            { 55, "no memory for a 260-byte working block" },
            { 60, "PovUpdate.pub is present and the update file is not signed by one of its keys for its name, has expired, or the key file is damaged" },
        };

        internal static string Of(int code)
        {
            string sentence;
            return Sentences.TryGetValue(code, out sentence) ? sentence : "unknown result code";
        }
    }

    public static class Library
    {
        // SetSaveFilePath may append a separator and "Install" in place.
        const int InstallRoom = 8;

        public static IEnumerable<UpdateEntry> UpdateEntries()
        {
            NativeMethods native = NativeMethods.Get();
            int cursor = 1;
            while (true)
            {
                var record = new NativeMethods.Record();
                Check(native.GetTheUpdateSoftwareInforFromIni(ref cursor, ref record));
                if (cursor == -1) yield break;
                yield return native.TakeRecord(ref record);
            }
        }

        public static string LocalVersion(string name)
        {
            byte[] nameText = Texts.Terminated(name, "name", 0);
            NativeMethods native = NativeMethods.Get();
            var record = new NativeMethods.Record();
            Check(native.GetTheLocalSoftwareInforFromIni(nameText, ref record));
            return native.TakeRecord(ref record).Version;
        }

        public static void RecordVersion(string name, string version)
        {
            byte[] nameBytes = Texts.Terminated(name, "name", 0);
            byte[] versionBytes = Texts.Terminated(version, "version", 0);
            NativeMethods native = NativeMethods.Get();
            var nameText = GCHandle.Alloc(nameBytes, GCHandleType.Pinned);
            var versionText = GCHandle.Alloc(versionBytes, GCHandleType.Pinned);
            try
            {
                var record = new NativeMethods.Record {
                    Name = nameText.AddrOfPinnedObject(), Version = versionText.AddrOfPinnedObject()
                };
                Check(native.UpdateLocalSoftwareInforToIni(ref record));
            }
            finally
            {
                nameText.Free();
                versionText.Free();
            }
        }

        // The first call on a machine stores the default, the host's
        // directory followed by "Install", for every host.
        public static string InstallPath()
        {
            NativeMethods native = NativeMethods.Get();
            return TextOrError(native, native.GetSaveFilePath(), "GetSaveFilePath");
        }

        // Returns the text stored: path, extended by "Install" when its last
        // component isn't that already.
        public static string SetInstallPath(string path)
        {
            byte[] buffer = Texts.Terminated(path, "path", InstallRoom);
            Check(NativeMethods.Get().SetSaveFilePath(buffer));
            return Texts.Decode(buffer, Array.IndexOf(buffer, (byte)0));
        }

        public static string UpdateFileName()
        {
            NativeMethods native = NativeMethods.Get();
            return TextOrError(native, native.GetTheFileName(), "GetTheFileName");
        }

        public static void DeleteUpdateFile()
        {
            NativeMethods.Get().DeleteTheUpdateFile();
        }

        static string TextOrError(NativeMethods native, IntPtr block, string function)
        {
            string text = native.TakeText(block);
            if (text == null) throw new PovUpdateException(null, function + " returned no text");
            return text;
        }

        static void Check(int code)
        {
            if (code != 0) throw PovUpdateException.For(code);
        }
    }

    // The library's texts: the ANSI code page on Windows, converted by
    // Windows itself (on .NET, Encoding.Default is UTF-8 whatever the system
    // says), UTF-8 on Linux.
    static class Texts
    {
        const uint AnsiCodePage = 0;         // CP_ACP
        const uint NoBestFitChars = 0x400;   // WC_NO_BEST_FIT_CHARS

        [DllImport("kernel32.dll")]
        static extern int WideCharToMultiByte(uint codePage, uint flags, [MarshalAs(UnmanagedType.LPWStr)] string text,
                                              int length, byte[] bytes, int size, IntPtr defaultChar,
                                              out int usedDefaultChar);

        [DllImport("kernel32.dll")]
        static extern int MultiByteToWideChar(uint codePage, uint flags, byte[] bytes, int length,
                                              [Out] char[] text, int size);

        static readonly Encoding Utf8 = new UTF8Encoding(false, true);

        // The text's bytes, its NUL and room zero bytes more. A text the
        // library would cut short or can't be given is refused before any
        // call.
        internal static byte[] Terminated(string text, string argument, int room)
        {
            if (text == null) throw new ArgumentNullException(argument);
            if (text.IndexOf('\0') >= 0) throw new ArgumentException("holds a NUL character", argument);
            byte[] bytes;
            try
            {
                bytes = NativeMethods.Windows ? ToAnsi(text, argument) : Utf8.GetBytes(text);
            }
            catch (EncoderFallbackException)
            {
                throw new ArgumentException("holds an unpaired surrogate", argument);
            }
            Array.Resize(ref bytes, bytes.Length + 1 + room);
            return bytes;
        }

        internal static string Decode(byte[] bytes, int length)
        {
            if (!NativeMethods.Windows) return new UTF8Encoding(false).GetString(bytes, 0, length);
            if (length == 0) return "";
            var text = new char[length];
            int count = MultiByteToWideChar(AnsiCodePage, 0, bytes, length, text, text.Length);
            return new string(text, 0, count);
        }

        static byte[] ToAnsi(string text, string argument)
        {
            if (text.Length == 0) return new byte[0];
            int unused;
            int size = WideCharToMultiByte(AnsiCodePage, NoBestFitChars, text, text.Length, null, 0, IntPtr.Zero,
                                           out unused);
            var bytes = new byte[size];
            int usedDefault;
            WideCharToMultiByte(AnsiCodePage, NoBestFitChars, text, text.Length, bytes, size, IntPtr.Zero,
                                out usedDefault);
            if (size == 0 || usedDefault != 0)
                throw new ArgumentException("can't be written in the system's ANSI code page", argument);
            return bytes;
        }
    }

    // The exports, bound once per process from the library the binding
    // loads itself. Every one is __cdecl.
    sealed class NativeMethods
    {
        internal static readonly bool Windows = Path.DirectorySeparatorChar == '\\';

        [StructLayout(LayoutKind.Sequential)]
        internal struct Record
        {
            public IntPtr Name, Version, DownLoadPath, MD5, InstallType, InstallPath, InstallParmeter, Size;
        }

        [UnmanagedFunctionPointer(CallingConvention.Cdecl)]
        internal delegate int WalkFunction(ref int cursor, ref Record record);
        [UnmanagedFunctionPointer(CallingConvention.Cdecl)]
        internal delegate int LocalReadFunction(byte[] name, ref Record record);
        [UnmanagedFunctionPointer(CallingConvention.Cdecl)]
        internal delegate int LocalWriteFunction(ref Record record);
        [UnmanagedFunctionPointer(CallingConvention.Cdecl)]
        internal delegate void ActionFunction();
        [UnmanagedFunctionPointer(CallingConvention.Cdecl)]
        internal delegate IntPtr TextFunction();
        // The library may append to the text in place: the buffer must have
        // room for 8 more bytes. A string here would be a copy with no room.
        [UnmanagedFunctionPointer(CallingConvention.Cdecl)]
        internal delegate int PathFunction([In, Out] byte[] path);
        [UnmanagedFunctionPointer(CallingConvention.Winapi)]
        internal delegate void ReleaseFunction(IntPtr block);

        internal WalkFunction GetTheUpdateSoftwareInforFromIni;
        internal LocalReadFunction GetTheLocalSoftwareInforFromIni;
        internal LocalWriteFunction UpdateLocalSoftwareInforToIni;
        internal ActionFunction DeleteTheUpdateFile;
        internal TextFunction GetSaveFilePath;
        internal PathFunction SetSaveFilePath;
        internal TextFunction GetTheFileName;
        ReleaseFunction release;

        static readonly object Loading = new object();
        static NativeMethods loaded;

        internal static NativeMethods Get()
        {
            lock (Loading)
            {
                if (loaded == null) loaded = Load();
                return loaded;
            }
        }

        // Copies the text and releases the block.
        internal string TakeText(IntPtr block)
        {
            if (block == IntPtr.Zero) return null;
            try
            {
                int length = 0;
                while (Marshal.ReadByte(block, length) != 0) length++;
                var bytes = new byte[length];
                Marshal.Copy(block, bytes, 0, length);
                return Texts.Decode(bytes, length);
            }
            finally
            {
                release(block);
            }
        }

        // Every one of the eight texts is released, whatever fails on the way.
        internal UpdateEntry TakeRecord(ref Record record)
        {
            IntPtr[] blocks = {
                record.Name, record.Version, record.DownLoadPath, record.MD5, record.InstallType,
                record.InstallPath, record.InstallParmeter, record.Size
            };
            record = new Record();
            var texts = new string[blocks.Length];
            int taken = 0;
            try
            {
                for (; taken < blocks.Length; taken++)
                {
                    IntPtr block = blocks[taken];
                    blocks[taken] = IntPtr.Zero;
                    texts[taken] = TakeText(block) ?? "";
                }
            }
            finally
            {
                for (int rest = taken; rest < blocks.Length; rest++)
                    if (blocks[rest] != IntPtr.Zero) release(blocks[rest]);
            }
            return new UpdateEntry {
                Name = texts[0], Version = texts[1], DownLoadPath = texts[2], MD5 = texts[3],
                InstallType = texts[4], InstallPath = texts[5], InstallParmeter = texts[6], Size = texts[7]
            };
        }

        // The places looked in, in order.
        static List<string> Places()
        {
            string here = Path.GetDirectoryName(typeof(NativeMethods).Assembly.Location) ?? "";
            string file, rid;
            if (Windows)
            {
                file = "PovUpdate.dll";
                rid = IntPtr.Size == 8 ? "win-x64" : "win-x86";
            }
            else
            {
                file = "libpovupdate.so";
                rid = "linux-x64";
            }
            return new List<string> {
                Path.Combine(here, file), Path.Combine(here, "runtimes", rid, "native", file),
                Windows ? file : "libpovupdate.so.1"
            };
        }

        static NativeMethods Load()
        {
            var failures = new List<string>();
            foreach (string place in Places())
            {
                IntPtr library = Windows ? Kernel32.LoadLibraryW(place) : Dl.dlopen(place, Dl.Now);
                if (library == IntPtr.Zero)
                {
                    string reason = Windows ? "error " + Marshal.GetLastWin32Error() : Marshal.PtrToStringAnsi(Dl.dlerror());
                    failures.Add(place + " (" + reason + ")");
                    continue;
                }
                return Bind(library, place);
            }
            throw new PovUpdateException(null, "the PovUpdate library can't be loaded; looked for " +
                                               string.Join(", ", failures.ToArray()));
        }

        static NativeMethods Bind(IntPtr library, string place)
        {
            var native = new NativeMethods();
            native.GetTheUpdateSoftwareInforFromIni = Export<WalkFunction>(library, place, "GetTheUpdateSoftwareInforFromIni");
            native.GetTheLocalSoftwareInforFromIni = Export<LocalReadFunction>(library, place, "GetTheLocalSoftwareInforFromIni");
            native.UpdateLocalSoftwareInforToIni = Export<LocalWriteFunction>(library, place, "UpdateLocalSoftwareInforToIni");
            native.DeleteTheUpdateFile = Export<ActionFunction>(library, place, "DeleteTheUpdateFile");
            native.GetSaveFilePath = Export<TextFunction>(library, place, "GetSaveFilePath");
            native.SetSaveFilePath = Export<PathFunction>(library, place, "SetSaveFilePath");
            native.GetTheFileName = Export<TextFunction>(library, place, "GetTheFileName");
            // Windows: ole32's CoTaskMemFree. Linux: free as the process
            // finds it, so that a preloaded allocator's free is the one.
            native.release = Windows
                ? Export<ReleaseFunction>(Kernel32.LoadLibraryW("ole32.dll"), "ole32.dll", "CoTaskMemFree")
                : Export<ReleaseFunction>(IntPtr.Zero, "the process", "free");
            return native;
        }

        static T Export<T>(IntPtr library, string place, string name) where T : class
        {
            IntPtr function;
            if (Windows)
                function = library == IntPtr.Zero ? IntPtr.Zero : Kernel32.GetProcAddress(library, name);
            else
                function = Dl.dlsym(library, name);  // IntPtr.Zero: RTLD_DEFAULT, as the process finds it
            if (function == IntPtr.Zero)
                throw new PovUpdateException(null, "the PovUpdate library can't be used: " + place +
                                                   " has no function " + name);
            return (T)(object)Marshal.GetDelegateForFunctionPointer(function, typeof(T));
        }

        static class Kernel32
        {
            [DllImport("kernel32.dll", CharSet = CharSet.Unicode, SetLastError = true)]
            internal static extern IntPtr LoadLibraryW(string name);

            [DllImport("kernel32.dll", CharSet = CharSet.Ansi, BestFitMapping = false)]
            internal static extern IntPtr GetProcAddress(IntPtr library, string name);
        }

        // The dynamic loader of glibc; libdl.so.2 is its name on every
        // release (since 2.34 a part of the C library that still answers to it).
        static class Dl
        {
            internal const int Now = 2;  // RTLD_NOW

            [DllImport("libdl.so.2")]
            internal static extern IntPtr dlopen(string file, int mode);

            [DllImport("libdl.so.2")]
            internal static extern IntPtr dlsym(IntPtr library, string name);

            [DllImport("libdl.so.2")]
            internal static extern IntPtr dlerror();
        }
    }
}
