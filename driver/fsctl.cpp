//
//  File-system control codes that change what a volume holds: its files' data, their
//  attributes and streams, or the volume's own layout and state. Codes that only read, query
//  or take oplocks and locks are not among them.
//
#include "driver/QEVRINd.h"

//
//  Codes that the kernel headers hide below the Windows version this driver is built for, or
//  lack; a newer system still sends them to the volumes it runs on.
//
#ifndef FSCTL_SD_GLOBAL_CHANGE
#define FSCTL_SD_GLOBAL_CHANGE CTL_CODE(FILE_DEVICE_FILE_SYSTEM, 125, METHOD_BUFFERED, FILE_ANY_ACCESS)
#endif
#ifndef FSCTL_TXFS_WRITE_BACKUP_INFORMATION2
#define FSCTL_TXFS_WRITE_BACKUP_INFORMATION2 CTL_CODE(FILE_DEVICE_FILE_SYSTEM, 128, METHOD_BUFFERED, FILE_ANY_ACCESS)
#endif
#ifndef FSCTL_SET_PERSISTENT_VOLUME_STATE
#define FSCTL_SET_PERSISTENT_VOLUME_STATE CTL_CODE(FILE_DEVICE_FILE_SYSTEM, 142, METHOD_BUFFERED, FILE_ANY_ACCESS)
#endif
#ifndef FSCTL_WRITE_USN_REASON
#define FSCTL_WRITE_USN_REASON CTL_CODE(FILE_DEVICE_FILE_SYSTEM, 180, METHOD_BUFFERED, FILE_ANY_ACCESS)
#endif
#ifndef FSCTL_USN_TRACK_MODIFIED_RANGES
#define FSCTL_USN_TRACK_MODIFIED_RANGES CTL_CODE(FILE_DEVICE_FILE_SYSTEM, 189, METHOD_BUFFERED, FILE_ANY_ACCESS)
#endif
#ifndef FSCTL_SET_EXTERNAL_BACKING
#define FSCTL_SET_EXTERNAL_BACKING CTL_CODE(FILE_DEVICE_FILE_SYSTEM, 195, METHOD_BUFFERED, FILE_SPECIAL_ACCESS)
#endif
#ifndef FSCTL_DELETE_EXTERNAL_BACKING
#define FSCTL_DELETE_EXTERNAL_BACKING CTL_CODE(FILE_DEVICE_FILE_SYSTEM, 197, METHOD_BUFFERED, FILE_SPECIAL_ACCESS)
#endif
#ifndef FSCTL_INITIATE_FILE_METADATA_OPTIMIZATION
#define FSCTL_INITIATE_FILE_METADATA_OPTIMIZATION \
  CTL_CODE(FILE_DEVICE_FILE_SYSTEM, 215, METHOD_BUFFERED, FILE_SPECIAL_ACCESS)
#endif
#ifndef FSCTL_SET_INTEGRITY_INFORMATION_EX
#define FSCTL_SET_INTEGRITY_INFORMATION_EX CTL_CODE(FILE_DEVICE_FILE_SYSTEM, 224, METHOD_BUFFERED, FILE_ANY_ACCESS)
#endif
#ifndef FSCTL_SET_REPARSE_POINT_EX
#define FSCTL_SET_REPARSE_POINT_EX CTL_CODE(FILE_DEVICE_FILE_SYSTEM, 259, METHOD_BUFFERED, FILE_SPECIAL_ACCESS)
#endif

//
//  The codes that change data although their access field asks for no write access, each as
//  the platform's reference for the code describes it. Codes that ask for write access need no
//  row: that request alone marks them.
//
static const ULONG DataChangingControlCodes[] = {
    FSCTL_MARK_VOLUME_DIRTY,                    // marks the volume for a check at the next start
    FSCTL_MOVE_FILE,                            // relocates a file's clusters on the volume
    FSCTL_SET_OBJECT_ID,                        // writes a file's object identifier
    FSCTL_DELETE_OBJECT_ID,                     // removes a file's object identifier
    FSCTL_SET_REPARSE_POINT,                    // writes a reparse point
    FSCTL_DELETE_REPARSE_POINT,                 // removes a reparse point
    FSCTL_SET_OBJECT_ID_EXTENDED,               // writes the extended part of an object identifier
    FSCTL_CREATE_OR_GET_OBJECT_ID,              // creates an object identifier where none exists
    FSCTL_SET_SPARSE,                           // marks a file sparse
    FSCTL_SET_ENCRYPTION,                       // encrypts or decrypts a file or stream
    FSCTL_ENCRYPTION_FSCTL_IO,                  // the encryption driver's own changes
    FSCTL_WRITE_RAW_ENCRYPTED,                  // writes a file's encrypted data as it is stored
    FSCTL_CREATE_USN_JOURNAL,                   // creates or changes the change journal
    FSCTL_WRITE_USN_CLOSE_RECORD,               // appends a close record to the change journal
    FSCTL_EXTEND_VOLUME,                        // grows the file system
    FSCTL_DELETE_USN_JOURNAL,                   // deletes the change journal
    FSCTL_SIS_COPYFILE,                         // creates a copy through single-instance storage
    FSCTL_SET_VOLUME_COMPRESSION_STATE,         // sets the volume's compression state
    FSCTL_SET_ZERO_ON_DEALLOCATION,             // zeroes a file's clusters when they are freed
    FSCTL_SET_REPAIR,                           // sets the self-healing mode of the volume
    FSCTL_INITIATE_REPAIR,                      // starts self-healing on a file
    FSCTL_SHRINK_VOLUME,                        // shrinks the file system
    FSCTL_SD_GLOBAL_CHANGE,                     // replaces a SID in every security descriptor
    FSCTL_TXFS_WRITE_BACKUP_INFORMATION2,       // writes a file's transactional backup data
    FSCTL_SET_PERSISTENT_VOLUME_STATE,          // sets the volume's persistent state flags
    FSCTL_WRITE_USN_REASON,                     // posts a change reason to the change journal
    FSCTL_USN_TRACK_MODIFIED_RANGES,            // turns on range tracking in the change journal
    FSCTL_SET_EXTERNAL_BACKING,                 // gives a file an external backing source
    FSCTL_DELETE_EXTERNAL_BACKING,              // removes a file's external backing source
    FSCTL_INITIATE_FILE_METADATA_OPTIMIZATION,  // compacts a file's metadata
    FSCTL_SET_INTEGRITY_INFORMATION_EX,         // sets a file's integrity checking
    FSCTL_SET_REPARSE_POINT_EX,                 // writes a reparse point, conditionally
};

//
//  The I/O manager sends a code whose access field holds FILE_WRITE_ACCESS only on a handle
//  opened for writing data: whatever it does, it is a write.
//
static BOOLEAN RequiresWriteAccess(ULONG FsControlCode) {
  return ((FsControlCode >> 14) & FILE_WRITE_ACCESS) != 0;
}

BOOLEAN IsWritingFsControl(ULONG FsControlCode) {
  if (RequiresWriteAccess(FsControlCode)) return TRUE;
  for (ULONG index = 0; index < sizeof(DataChangingControlCodes) / sizeof(DataChangingControlCodes[0]); ++index) {
    if (DataChangingControlCodes[index] == FsControlCode) return TRUE;
  }
  return FALSE;
}
