// PovUpdate for .NET and Mono hosts: the seven exports and a small safe class
// over them. The library is "povupdate": PovUpdate.dll on Windows,
// libpovupdate.so on Linux (or a <dllmap> to libpovupdate.so.1).
//
// Every text the library hands out arrives as an IntPtr, is copied into a
// string and released: with CoTaskMemFree on Windows, with the C library's
// free on Linux (the process's, as Mono finds it). A string field or return type would let the marshaller
// release the block its own way, or not at all.
using System;
using System.Collections.Generic;
using System.Runtime.InteropServices;
using System.Text;

namespace PovUpdate
{
    [StructLayout(LayoutKind.Sequential)]
    public struct SoftwareInforRecord
    {
        public IntPtr Name;
        public IntPtr Version;
        public IntPtr DownLoadPath;
        public IntPtr MD5;
        public IntPtr InstallType;
        public IntPtr InstallPath;
        public IntPtr InstallParmeter;
        public IntPtr Size;
    }

    public static class NativeMethods
    {
        const string Library = "povupdate";

        [DllImport(Library, CallingConvention = CallingConvention.Cdecl)]
        public static extern int GetTheUpdateSoftwareInforFromIni(ref int cursor, out SoftwareInforRecord record);

        [DllImport(Library, CallingConvention = CallingConvention.Cdecl)]
        public static extern int GetTheLocalSoftwareInforFromIni(byte[] name, out SoftwareInforRecord record);

        [DllImport(Library, CallingConvention = CallingConvention.Cdecl)]
        public static extern int UpdateLocalSoftwareInforToIni(ref SoftwareInforRecord record);

        [DllImport(Library, CallingConvention = CallingConvention.Cdecl)]
        public static extern void DeleteTheUpdateFile();

        [DllImport(Library, CallingConvention = CallingConvention.Cdecl)]
        public static extern IntPtr GetSaveFilePath();

        // The library may append a separator and "Install" to the text in
        // place: the buffer must have room for 8 more bytes. A string here
        // would be a marshalled copy with no room.
        [DllImport(Library, CallingConvention = CallingConvention.Cdecl)]
        public static extern int SetSaveFilePath([In, Out] byte[] path);

        [DllImport(Library, CallingConvention = CallingConvention.Cdecl)]
        public static extern IntPtr GetTheFileName();

        // The process's own free, as the library's malloc is the process's:
        // "__Internal" looks the name up as the process does, so a
        // preloaded allocator's free is found; "libc" would give libc's.
        [DllImport("__Internal", EntryPoint = "free")]
        public static extern void Free(IntPtr block);
    }

    public sealed class UpdateEntry
    {
        public string Name, Version, DownLoadPath, MD5, InstallType, InstallPath, InstallParmeter, Size;
    }

    public class PovUpdateException : Exception
    {
        // The library's result code; 0 when a text export returned no text.
        public int Code { get; private set; }

        // Result 60: the host ships PovUpdate.pub and the update file is not
        // to be believed. Install nothing, tell the user, try again later.
        public const int UntrustedUpdateFile = 60;

        public PovUpdateException(int code, string message) : base(message) { Code = code; }
    }

    public static class Library
    {
        const int InstallRoom = 8;

        static readonly bool Windows = Environment.OSVersion.Platform == PlatformID.Win32NT;
        // The ANSI code page on Windows, UTF-8 on Linux.
        static readonly Encoding Text = Windows ? Encoding.Default : new UTF8Encoding(false);

        public static IEnumerable<UpdateEntry> UpdateEntries()
        {
            int cursor = 1;
            while (true)
            {
                SoftwareInforRecord record;
                Check(NativeMethods.GetTheUpdateSoftwareInforFromIni(ref cursor, out record));
                if (cursor == -1) yield break;
                yield return TakeRecord(record);
            }
        }

        public static string LocalVersion(string name)
        {
            SoftwareInforRecord record;
            Check(NativeMethods.GetTheLocalSoftwareInforFromIni(Terminated(name, 0), out record));
            return TakeRecord(record).Version;
        }

        public static void RecordVersion(string name, string version)
        {
            var nameText = GCHandle.Alloc(Terminated(name, 0), GCHandleType.Pinned);
            var versionText = GCHandle.Alloc(Terminated(version, 0), GCHandleType.Pinned);
            try
            {
                var record = new SoftwareInforRecord {
                    Name = nameText.AddrOfPinnedObject(), Version = versionText.AddrOfPinnedObject()
                };
                Check(NativeMethods.UpdateLocalSoftwareInforToIni(ref record));
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
            return TextOrError(NativeMethods.GetSaveFilePath(), "GetSaveFilePath");
        }

        // Returns the text stored: path, extended by "Install" when its last
        // component isn't that already.
        public static string SetInstallPath(string path)
        {
            byte[] buffer = Terminated(path, InstallRoom);
            Check(NativeMethods.SetSaveFilePath(buffer));
            return Text.GetString(buffer, 0, Array.IndexOf(buffer, (byte)0));
        }

        public static string UpdateFileName()
        {
            return TextOrError(NativeMethods.GetTheFileName(), "GetTheFileName");
        }

        public static void DeleteUpdateFile()
        {
            NativeMethods.DeleteTheUpdateFile();
        }

        // The text's bytes, its NUL and room zero bytes more.
        static byte[] Terminated(string text, int room)
        {
            if (text == null) throw new ArgumentNullException("text");
            byte[] bytes = Text.GetBytes(text);
            Array.Resize(ref bytes, bytes.Length + 1 + room);
            return bytes;
        }

        static void Release(IntPtr block)
        {
            if (block == IntPtr.Zero) return;
            if (Windows)
                Marshal.FreeCoTaskMem(block);
            else
                NativeMethods.Free(block);
        }

        static string TakeText(IntPtr block)
        {
            if (block == IntPtr.Zero) return null;
            int length = 0;
            while (Marshal.ReadByte(block, length) != 0) length++;
            var bytes = new byte[length];
            Marshal.Copy(block, bytes, 0, length);
            Release(block);
            return Text.GetString(bytes);
        }

        static UpdateEntry TakeRecord(SoftwareInforRecord record)
        {
            return new UpdateEntry {
                Name = TakeText(record.Name), Version = TakeText(record.Version),
                DownLoadPath = TakeText(record.DownLoadPath), MD5 = TakeText(record.MD5),
                InstallType = TakeText(record.InstallType), InstallPath = TakeText(record.InstallPath),
                InstallParmeter = TakeText(record.InstallParmeter), Size = TakeText(record.Size)
            };
        }

        static string TextOrError(IntPtr block, string function)
        {
            string text = TakeText(block);
            if (text == null) throw new PovUpdateException(0, function + " returned no text");
            return text;
        }

        static void Check(int code)
        {
            if (code != 0) throw new PovUpdateException(code, "PovUpdate error " + code + ": " + Message(code));
        }

        // The README's sentence for each result code.
        static string Message(int code)
        {
            switch (code)
            {
                case 1: return "enumeration cursor below 1";
                case 2: return "the index lookup read nothing but left text";
                case 4: return "no memory for a value read buffer, or for the profile service's read";
                case 6: return "no memory for a copy of a value or a record field";
                case 10: return "internal: value-slot index outside 0 to 7";
                case 11: return "null pointer, a name or version the file can't hold as given, or no memory to copy it";
                case 12: return "no memory for a copy of the section name";
                case 13: return "the local configuration file refused the write";
                case 21: return "internal: registry path without a root digit (read, write)";
                case 22: return "a registry key can't be opened or created";
                case 23: return "internal: registry path without a root digit (create)";
                case 24: return "the registry refused to store the value";
                case 40: return "no memory for a probed registry value";
                case 44: return "a registry value can't be read";
                case 51: return "`SetSaveFilePath` was given a null path";
                case 52: return "the install key can't be created";
                case 53: return "the install path would pass 259 characters";
                case 55: return "no memory for a 260-byte working block";
                case 60: return "PovUpdate.pub is present and the update file is not signed by one of its keys for its name, has expired, or the key file is damaged";
                default: return "unknown result code";
            }
        }
    }
}
