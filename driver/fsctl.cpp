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
#ifndef FSCTL_WRITE_PROPERTY_DATA
#define FSCTL_WRITE_PROPERTY_DATA CTL_CODE(FILE_DEVICE_FILE_SYSTEM, 34, METHOD_NEITHER, FILE_ANY_ACCESS)
#endif
#ifndef FSCTL_RECALL_FILE
#define FSCTL_RECALL_FILE CTL_CODE(FILE_DEVICE_FILE_SYSTEM, 69, METHOD_NEITHER, FILE_ANY_ACCESS)
#endif
#ifndef FSCTL_SET_SHORT_NAME_BEHAVIOR
#define FSCTL_SET_SHORT_NAME_BEHAVIOR CTL_CODE(FILE_DEVICE_FILE_SYSTEM, 109, METHOD_BUFFERED, FILE_ANY_ACCESS)
#endif
#ifndef FSCTL_SD_GLOBAL_CHANGE
#define FSCTL_SD_GLOBAL_CHANGE CTL_CODE(FILE_DEVICE_FILE_SYSTEM, 125, METHOD_BUFFERED, FILE_ANY_ACCESS)
#endif
#ifndef FSCTL_TXFS_WRITE_BACKUP_INFORMATION2
#define FSCTL_TXFS_WRITE_BACKUP_INFORMATION2 CTL_CODE(FILE_DEVICE_FILE_SYSTEM, 128, METHOD_BUFFERED, FILE_ANY_ACCESS)
#endif
#ifndef FSCTL_SET_PERSISTENT_VOLUME_STATE
#define FSCTL_SET_PERSISTENT_VOLUME_STATE CTL_CODE(FILE_DEVICE_FILE_SYSTEM, 142, METHOD_BUFFERED, FILE_ANY_ACCESS)
#endif
#ifndef FSCTL_DEDUP_FILE
#define FSCTL_DEDUP_FILE CTL_CODE(FILE_DEVICE_FILE_SYSTEM, 165, METHOD_BUFFERED, FILE_ANY_ACCESS)
#endif
#ifndef FSCTL_SCRUB_DATA
#define FSCTL_SCRUB_DATA CTL_CODE(FILE_DEVICE_FILE_SYSTEM, 172, METHOD_BUFFERED, FILE_ANY_ACCESS)
#endif
#ifndef FSCTL_ADVANCE_FILE_ID
#define FSCTL_ADVANCE_FILE_ID CTL_CODE(FILE_DEVICE_FILE_SYSTEM, 177, METHOD_BUFFERED, FILE_ANY_ACCESS)
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
#ifndef FSCTL_SPARSE_OVERALLOCATE
#define FSCTL_SPARSE_OVERALLOCATE CTL_CODE(FILE_DEVICE_FILE_SYSTEM, 211, METHOD_BUFFERED, FILE_SPECIAL_ACCESS)
#endif
#ifndef FSCTL_INITIATE_FILE_METADATA_OPTIMIZATION
#define FSCTL_INITIATE_FILE_METADATA_OPTIMIZATION \
  CTL_CODE(FILE_DEVICE_FILE_SYSTEM, 215, METHOD_BUFFERED, FILE_SPECIAL_ACCESS)
#endif
#ifndef FSCTL_CLEAN_VOLUME_METADATA
#define FSCTL_CLEAN_VOLUME_METADATA CTL_CODE(FILE_DEVICE_FILE_SYSTEM, 223, METHOD_BUFFERED, FILE_ANY_ACCESS)
#endif
#ifndef FSCTL_SET_INTEGRITY_INFORMATION_EX
#define FSCTL_SET_INTEGRITY_INFORMATION_EX CTL_CODE(FILE_DEVICE_FILE_SYSTEM, 224, METHOD_BUFFERED, FILE_ANY_ACCESS)
#endif
#ifndef FSCTL_UNMAP_SPACE
#define FSCTL_UNMAP_SPACE CTL_CODE(FILE_DEVICE_FILE_SYSTEM, 237, METHOD_BUFFERED, FILE_ANY_ACCESS)
#endif
#ifndef FSCTL_REFS_DEALLOCATE_RANGES
#define FSCTL_REFS_DEALLOCATE_RANGES CTL_CODE(FILE_DEVICE_FILE_SYSTEM, 246, METHOD_BUFFERED, FILE_ANY_ACCESS)
#endif
#ifndef FSCTL_SET_REFS_SMR_VOLUME_GC_PARAMETERS
#define FSCTL_SET_REFS_SMR_VOLUME_GC_PARAMETERS CTL_CODE(FILE_DEVICE_FILE_SYSTEM, 248, METHOD_BUFFERED, FILE_ANY_ACCESS)
#endif
#ifndef FSCTL_SET_REFS_FILE_STRICTLY_SEQUENTIAL
#define FSCTL_SET_REFS_FILE_STRICTLY_SEQUENTIAL CTL_CODE(FILE_DEVICE_FILE_SYSTEM, 249, METHOD_BUFFERED, FILE_ANY_ACCESS)
#endif
#ifndef FSCTL_DELETE_CORRUPTED_REFS_CONTAINER
#define FSCTL_DELETE_CORRUPTED_REFS_CONTAINER CTL_CODE(FILE_DEVICE_FILE_SYSTEM, 253, METHOD_BUFFERED, FILE_ANY_ACCESS)
#endif
#ifndef FSCTL_ENCRYPTION_KEY_CONTROL
#define FSCTL_ENCRYPTION_KEY_CONTROL CTL_CODE(FILE_DEVICE_FILE_SYSTEM, 257, METHOD_BUFFERED, FILE_ANY_ACCESS)
#endif
#ifndef FSCTL_SET_REPARSE_POINT_EX
#define FSCTL_SET_REPARSE_POINT_EX CTL_CODE(FILE_DEVICE_FILE_SYSTEM, 259, METHOD_BUFFERED, FILE_SPECIAL_ACCESS)
#endif
#ifndef FSCTL_REFS_STREAM_SNAPSHOT_MANAGEMENT
#define FSCTL_REFS_STREAM_SNAPSHOT_MANAGEMENT CTL_CODE(FILE_DEVICE_FILE_SYSTEM, 272, METHOD_BUFFERED, FILE_ANY_ACCESS)
#endif
#ifndef FSCTL_REFS_DEALLOCATE_RANGES_EX
#define FSCTL_REFS_DEALLOCATE_RANGES_EX CTL_CODE(FILE_DEVICE_FILE_SYSTEM, 275, METHOD_BUFFERED, FILE_ANY_ACCESS)
#endif
#ifndef FSCTL_REFS_SET_VOLUME_COMPRESSION_INFO
#define FSCTL_REFS_SET_VOLUME_COMPRESSION_INFO CTL_CODE(FILE_DEVICE_FILE_SYSTEM, 277, METHOD_BUFFERED, FILE_ANY_ACCESS)
#endif
#ifndef FSCTL_DUPLICATE_CLUSTER
#define FSCTL_DUPLICATE_CLUSTER CTL_CODE(FILE_DEVICE_FILE_SYSTEM, 279, METHOD_BUFFERED, FILE_ANY_ACCESS)
#endif
#ifndef FSCTL_CREATE_LCN_WEAK_REFERENCE
#define FSCTL_CREATE_LCN_WEAK_REFERENCE CTL_CODE(FILE_DEVICE_FILE_SYSTEM, 280, METHOD_BUFFERED, FILE_ANY_ACCESS)
#endif
#ifndef FSCTL_CLEAR_LCN_WEAK_REFERENCE
#define FSCTL_CLEAR_LCN_WEAK_REFERENCE CTL_CODE(FILE_DEVICE_FILE_SYSTEM, 281, METHOD_BUFFERED, FILE_ANY_ACCESS)
#endif
#ifndef FSCTL_CLEAR_ALL_LCN_WEAK_REFERENCES
#define FSCTL_CLEAR_ALL_LCN_WEAK_REFERENCES CTL_CODE(FILE_DEVICE_FILE_SYSTEM, 283, METHOD_BUFFERED, FILE_ANY_ACCESS)
#endif
#ifndef FSCTL_REFS_SET_VOLUME_DEDUP_INFO
#define FSCTL_REFS_SET_VOLUME_DEDUP_INFO CTL_CODE(FILE_DEVICE_FILE_SYSTEM, 284, METHOD_BUFFERED, FILE_ANY_ACCESS)
#endif
#ifndef FSCTL_REFS_CHECKPOINT_VOLUME
#define FSCTL_REFS_CHECKPOINT_VOLUME CTL_CODE(FILE_DEVICE_FILE_SYSTEM, 287, METHOD_BUFFERED, FILE_ANY_ACCESS)
#endif
#ifndef FSCTL_UPGRADE_VOLUME
#define FSCTL_UPGRADE_VOLUME CTL_CODE(FILE_DEVICE_FILE_SYSTEM, 289, METHOD_BUFFERED, FILE_ANY_ACCESS)
#endif
#ifndef FSCTL_REFS_SET_VOLUME_IO_METRICS_INFO
#define FSCTL_REFS_SET_VOLUME_IO_METRICS_INFO CTL_CODE(FILE_DEVICE_FILE_SYSTEM, 290, METHOD_BUFFERED, FILE_ANY_ACCESS)
#endif
#ifndef FSCTL_REFS_SET_ROLLBACK_PROTECTION_INFO
#define FSCTL_REFS_SET_ROLLBACK_PROTECTION_INFO CTL_CODE(FILE_DEVICE_FILE_SYSTEM, 292, METHOD_BUFFERED, FILE_ANY_ACCESS)
#endif
#ifndef FSCTL_CASCADES_REFS_SET_FILE_REMOTE
#define FSCTL_CASCADES_REFS_SET_FILE_REMOTE CTL_CODE(FILE_DEVICE_FILE_SYSTEM, 295, METHOD_BUFFERED, FILE_ANY_ACCESS)
#endif

//
//  The codes that change data although their access field asks for no write access, each with
//  what it does and, above it, the title of the page that documents it: the code's own
//  reference page where the platform has one, else the [MS-FSA] or [MS-FSCC] section that
//  describes it, else the page of the Windows API metadata that publishes its definition, else
//  the header that defines it.
//  Codes that ask for write access need no row: that request alone marks them. A code that
//  also has reading uses is listed when any of its uses writes, as the code alone is seen here.
//
static const ULONG DataChangingControlCodes[] = {
    // "FSCTL_MARK_VOLUME_DIRTY control code"
    FSCTL_MARK_VOLUME_DIRTY,  // marks the volume for a check at the next start
    // "FSCTL_MOVE_FILE IOCTL (winioctl.h)"
    FSCTL_MOVE_FILE,  // relocates a file's clusters on the volume
    // "FSCTL_SET_OBJECT_ID IOCTL (winioctl.h)"
    FSCTL_SET_OBJECT_ID,  // writes a file's object identifier
    // "FSCTL_DELETE_OBJECT_ID IOCTL (winioctl.h)"
    FSCTL_DELETE_OBJECT_ID,  // removes a file's object identifier
    // "FSCTL_SET_REPARSE_POINT control code"
    FSCTL_SET_REPARSE_POINT,  // writes a reparse point
    // "FSCTL_DELETE_REPARSE_POINT control code"
    FSCTL_DELETE_REPARSE_POINT,  // removes a reparse point
    // "FSCTL_SET_OBJECT_ID_EXTENDED IOCTL (winioctl.h)"
    FSCTL_SET_OBJECT_ID_EXTENDED,  // writes the extended part of an object identifier
    // "FSCTL_CREATE_OR_GET_OBJECT_ID IOCTL (winioctl.h)"
    FSCTL_CREATE_OR_GET_OBJECT_ID,  // creates an object identifier where none exists
    // "FSCTL_SET_SPARSE IOCTL (winioctl.h)"
    FSCTL_SET_SPARSE,  // marks a file sparse
    // [MS-FSA] "2.1.5.10.32 FSCTL_SET_ENCRYPTION"
    FSCTL_SET_ENCRYPTION,  // encrypts or decrypts a file or stream
    // "FSCTL_ENCRYPTION_FSCTL_IO in windows::Win32::System::Ioctl"
    FSCTL_ENCRYPTION_FSCTL_IO,  // the encryption driver's own changes
    // "FSCTL_WRITE_RAW_ENCRYPTED in windows::Win32::System::Ioctl"
    FSCTL_WRITE_RAW_ENCRYPTED,  // writes a file's encrypted data as it is stored
    // "FSCTL_CREATE_USN_JOURNAL IOCTL (winioctl.h)"
    FSCTL_CREATE_USN_JOURNAL,  // creates or changes the change journal
    // "FSCTL_WRITE_USN_CLOSE_RECORD IOCTL (winioctl.h)"
    FSCTL_WRITE_USN_CLOSE_RECORD,  // appends a close record to the change journal
    // "FSCTL_EXTEND_VOLUME IOCTL (winioctl.h)"
    FSCTL_EXTEND_VOLUME,  // grows the file system
    // "FSCTL_DELETE_USN_JOURNAL IOCTL (winioctl.h)"
    FSCTL_DELETE_USN_JOURNAL,  // deletes the change journal
    // [MS-FSCC] "2.3.89 FSCTL_SIS_COPYFILE Request"
    FSCTL_SIS_COPYFILE,  // creates a copy through single-instance storage
    // "FSCTL_SET_VOLUME_COMPRESSION_STATE in windows::Win32::System::Ioctl"
    FSCTL_SET_VOLUME_COMPRESSION_STATE,  // sets the volume's compression state
    // "FSCTL_SET_ZERO_ON_DEALLOCATION IOCTL (winioctl.h)"
    FSCTL_SET_ZERO_ON_DEALLOCATION,  // zeroes a file's clusters when they are freed
    // "FSCTL_SET_REPAIR IOCTL (winioctl.h)"
    FSCTL_SET_REPAIR,  // sets the self-healing mode of the volume
    // "FSCTL_INITIATE_REPAIR IOCTL (winioctl.h)"
    FSCTL_INITIATE_REPAIR,  // starts self-healing on a file
    // "FSCTL_SHRINK_VOLUME IOCTL (winioctl.h)"
    FSCTL_SHRINK_VOLUME,  // shrinks the file system
    // "FSCTL_SD_GLOBAL_CHANGE in windows::Win32::System::Ioctl"
    FSCTL_SD_GLOBAL_CHANGE,  // replaces a SID in every security descriptor
    // "FSCTL_TXFS_WRITE_BACKUP_INFORMATION2 in windows::Win32::System::Ioctl"
    FSCTL_TXFS_WRITE_BACKUP_INFORMATION2,  // writes a file's transactional backup data
    // "FSCTL_SET_PERSISTENT_VOLUME_STATE control code"
    FSCTL_SET_PERSISTENT_VOLUME_STATE,  // sets the volume's persistent state flags
    // "FSCTL_WRITE_USN_REASON in windows::Win32::System::Ioctl"
    FSCTL_WRITE_USN_REASON,  // posts a change reason to the change journal
    // "FSCTL_USN_TRACK_MODIFIED_RANGES IOCTL (winioctl.h)"
    FSCTL_USN_TRACK_MODIFIED_RANGES,  // turns on range tracking in the change journal
    // "FSCTL_SET_EXTERNAL_BACKING control code"
    FSCTL_SET_EXTERNAL_BACKING,  // gives a file an external backing source
    // "FSCTL_DELETE_EXTERNAL_BACKING control code"
    FSCTL_DELETE_EXTERNAL_BACKING,  // removes a file's external backing source
    // "FSCTL_INITIATE_FILE_METADATA_OPTIMIZATION in windows::Win32::System::Ioctl"
    FSCTL_INITIATE_FILE_METADATA_OPTIMIZATION,  // compacts a file's metadata
    // [MS-FSA] "2.1.5.10.34 FSCTL_SET_INTEGRITY_INFORMATION_EX"
    FSCTL_SET_INTEGRITY_INFORMATION_EX,  // sets a file's integrity checking
    // "FSCTL_SET_REPARSE_POINT_EX control code"
    FSCTL_SET_REPARSE_POINT_EX,  // writes a reparse point, conditionally
    // "FSCTL_RECALL_FILE IOCTL (winioctl.h)"
    FSCTL_RECALL_FILE,  // brings a file's data back from remote storage onto the volume
    // No page of its own: defined in ntifs.h beside FSCTL_READ_PROPERTY_DATA
    FSCTL_WRITE_PROPERTY_DATA,  // writes a file's property data
    // "FSCTL_SET_SHORT_NAME_BEHAVIOR in windows::Win32::System::Ioctl"
    FSCTL_SET_SHORT_NAME_BEHAVIOR,  // sets how the volume makes short names
    // No page of its own: defined in winioctl.h of the Windows SDK from Windows 8 on, in the
    // function numbers 162 to 170 that header keeps for deduplication
    FSCTL_DEDUP_FILE,  // hands a file's data over to deduplication
    // "FSCTL_SCRUB_DATA in windows::Win32::System::Ioctl"
    FSCTL_SCRUB_DATA,  // checks a file's copies and rewrites the damaged ones
    // "FSCTL_ADVANCE_FILE_ID in windows::Win32::System::Ioctl"
    FSCTL_ADVANCE_FILE_ID,  // moves the volume's next file identifier forward
    // "FSCTL_SPARSE_OVERALLOCATE in windows::Win32::System::Ioctl"
    FSCTL_SPARSE_OVERALLOCATE,  // allocates clusters ahead for a sparse file
    // "FSCTL_CLEAN_VOLUME_METADATA in windows::Win32::System::Ioctl"
    FSCTL_CLEAN_VOLUME_METADATA,  // cleans up the volume's metadata
    // "FSCTL_UNMAP_SPACE in windows::Win32::System::Ioctl"
    FSCTL_UNMAP_SPACE,  // releases the volume's free clusters to the storage
    // "FSCTL_REFS_DEALLOCATE_RANGES in windows::Win32::System::Ioctl"
    FSCTL_REFS_DEALLOCATE_RANGES,  // frees ranges of a file's clusters
    // "FSCTL_SET_REFS_SMR_VOLUME_GC_PARAMETERS control code"
    FSCTL_SET_REFS_SMR_VOLUME_GC_PARAMETERS,  // starts compaction, which moves data on the volume
    // "FSCTL_SET_REFS_FILE_STRICTLY_SEQUENTIAL in windows::Win32::System::Ioctl"
    FSCTL_SET_REFS_FILE_STRICTLY_SEQUENTIAL,  // marks a file strictly sequential
    // "FSCTL_DELETE_CORRUPTED_REFS_CONTAINER in windows::Win32::System::Ioctl"
    FSCTL_DELETE_CORRUPTED_REFS_CONTAINER,  // deletes a damaged container of the volume
    // "ENCRYPTION_KEY_CTRL_INPUT structure (ntifs.h)"
    FSCTL_ENCRYPTION_KEY_CONTROL,  // protects or unprotects a file's encryption key
    // [MS-FSCC] "2.3.65 FSCTL_REFS_STREAM_SNAPSHOT_MANAGEMENT Request"
    FSCTL_REFS_STREAM_SNAPSHOT_MANAGEMENT,  // creates, reverts and deletes stream snapshots
    // "FSCTL_REFS_DEALLOCATE_RANGES_EX IOCTL (ntifs.h)"
    FSCTL_REFS_DEALLOCATE_RANGES_EX,  // frees ranges of a file's clusters
    // "FSCTL_REFS_SET_VOLUME_COMPRESSION_INFO in windows::Win32::System::Ioctl"
    FSCTL_REFS_SET_VOLUME_COMPRESSION_INFO,  // sets the volume's compression and compresses or decompresses it
    // "FSCTL_DUPLICATE_CLUSTER in windows::Win32::System::Ioctl"
    FSCTL_DUPLICATE_CLUSTER,  // duplicates a cluster of the volume
    // "FSCTL_CREATE_LCN_WEAK_REFERENCE in windows::Win32::System::Ioctl"
    FSCTL_CREATE_LCN_WEAK_REFERENCE,  // records weak references on a file's clusters
    // "FSCTL_CLEAR_LCN_WEAK_REFERENCE in windows::Win32::System::Ioctl"
    FSCTL_CLEAR_LCN_WEAK_REFERENCE,  // removes the weak references on ranges of clusters
    // "FSCTL_CLEAR_ALL_LCN_WEAK_REFERENCES in windows::Win32::System::Ioctl"
    FSCTL_CLEAR_ALL_LCN_WEAK_REFERENCES,  // removes every weak reference on the volume
    // "FSCTL_REFS_SET_VOLUME_DEDUP_INFO in windows::Win32::System::Ioctl"
    FSCTL_REFS_SET_VOLUME_DEDUP_INFO,  // turns the volume's deduplication and its tracking on or off
    // "FSCTL_REFS_CHECKPOINT_VOLUME in windows::Win32::System::Ioctl"
    FSCTL_REFS_CHECKPOINT_VOLUME,  // writes a checkpoint of the volume's metadata
    // "FSCTL_UPGRADE_VOLUME in windows::Win32::System::Ioctl"
    FSCTL_UPGRADE_VOLUME,  // upgrades the volume's on-disk format
    // "FSCTL_REFS_SET_VOLUME_IO_METRICS_INFO in windows::Win32::System::Ioctl"
    FSCTL_REFS_SET_VOLUME_IO_METRICS_INFO,  // sets how long and how often the volume tracks its activity
    // "FSCTL_REFS_SET_ROLLBACK_PROTECTION_INFO in windows::Win32::System::Ioctl"
    FSCTL_REFS_SET_ROLLBACK_PROTECTION_INFO,  // sets the volume's rollback protection
    // "FSCTL_CASCADES_REFS_SET_FILE_REMOTE in windows::Win32::System::Ioctl"
    FSCTL_CASCADES_REFS_SET_FILE_REMOTE,  // marks a file as held remotely
};

//
//  The values the platform documents for the codes above. The driver image takes most of them
//  from the kernel headers it is built with; a header that gave one another value would leave
//  the real request unguarded while the tests on the stand-in's headers still passed, so the
//  build stops instead.
//
static_assert(FSCTL_MARK_VOLUME_DIRTY == 0x00090030, "FSCTL_MARK_VOLUME_DIRTY");
static_assert(FSCTL_MOVE_FILE == 0x00090074, "FSCTL_MOVE_FILE");
static_assert(FSCTL_SET_OBJECT_ID == 0x00090098, "FSCTL_SET_OBJECT_ID");
static_assert(FSCTL_DELETE_OBJECT_ID == 0x000900A0, "FSCTL_DELETE_OBJECT_ID");
static_assert(FSCTL_SET_REPARSE_POINT == 0x000900A4, "FSCTL_SET_REPARSE_POINT");
static_assert(FSCTL_DELETE_REPARSE_POINT == 0x000900AC, "FSCTL_DELETE_REPARSE_POINT");
static_assert(FSCTL_SET_OBJECT_ID_EXTENDED == 0x000900BC, "FSCTL_SET_OBJECT_ID_EXTENDED");
static_assert(FSCTL_CREATE_OR_GET_OBJECT_ID == 0x000900C0, "FSCTL_CREATE_OR_GET_OBJECT_ID");
static_assert(FSCTL_SET_SPARSE == 0x000900C4, "FSCTL_SET_SPARSE");
static_assert(FSCTL_SET_ENCRYPTION == 0x000900D7, "FSCTL_SET_ENCRYPTION");
static_assert(FSCTL_ENCRYPTION_FSCTL_IO == 0x000900DB, "FSCTL_ENCRYPTION_FSCTL_IO");
static_assert(FSCTL_WRITE_RAW_ENCRYPTED == 0x000900DF, "FSCTL_WRITE_RAW_ENCRYPTED");
static_assert(FSCTL_CREATE_USN_JOURNAL == 0x000900E7, "FSCTL_CREATE_USN_JOURNAL");
static_assert(FSCTL_WRITE_USN_CLOSE_RECORD == 0x000900EF, "FSCTL_WRITE_USN_CLOSE_RECORD");
static_assert(FSCTL_EXTEND_VOLUME == 0x000900F0, "FSCTL_EXTEND_VOLUME");
static_assert(FSCTL_DELETE_USN_JOURNAL == 0x000900F8, "FSCTL_DELETE_USN_JOURNAL");
static_assert(FSCTL_SIS_COPYFILE == 0x00090100, "FSCTL_SIS_COPYFILE");
static_assert(FSCTL_SET_VOLUME_COMPRESSION_STATE == 0x00090140, "FSCTL_SET_VOLUME_COMPRESSION_STATE");
static_assert(FSCTL_SET_ZERO_ON_DEALLOCATION == 0x00090194, "FSCTL_SET_ZERO_ON_DEALLOCATION");
static_assert(FSCTL_SET_REPAIR == 0x00090198, "FSCTL_SET_REPAIR");
static_assert(FSCTL_INITIATE_REPAIR == 0x000901A8, "FSCTL_INITIATE_REPAIR");
static_assert(FSCTL_SHRINK_VOLUME == 0x000901B0, "FSCTL_SHRINK_VOLUME");
static_assert(FSCTL_SD_GLOBAL_CHANGE == 0x000901F4, "FSCTL_SD_GLOBAL_CHANGE");
static_assert(FSCTL_TXFS_WRITE_BACKUP_INFORMATION2 == 0x00090200, "FSCTL_TXFS_WRITE_BACKUP_INFORMATION2");
static_assert(FSCTL_SET_PERSISTENT_VOLUME_STATE == 0x00090238, "FSCTL_SET_PERSISTENT_VOLUME_STATE");
static_assert(FSCTL_WRITE_USN_REASON == 0x000902D0, "FSCTL_WRITE_USN_REASON");
static_assert(FSCTL_USN_TRACK_MODIFIED_RANGES == 0x000902F4, "FSCTL_USN_TRACK_MODIFIED_RANGES");
static_assert(FSCTL_SET_EXTERNAL_BACKING == 0x0009030C, "FSCTL_SET_EXTERNAL_BACKING");
static_assert(FSCTL_DELETE_EXTERNAL_BACKING == 0x00090314, "FSCTL_DELETE_EXTERNAL_BACKING");
static_assert(FSCTL_INITIATE_FILE_METADATA_OPTIMIZATION == 0x0009035C, "FSCTL_INITIATE_FILE_METADATA_OPTIMIZATION");
static_assert(FSCTL_SET_INTEGRITY_INFORMATION_EX == 0x00090380, "FSCTL_SET_INTEGRITY_INFORMATION_EX");
static_assert(FSCTL_SET_REPARSE_POINT_EX == 0x0009040C, "FSCTL_SET_REPARSE_POINT_EX");
static_assert(FSCTL_RECALL_FILE == 0x00090117, "FSCTL_RECALL_FILE");
static_assert(FSCTL_WRITE_PROPERTY_DATA == 0x0009008B, "FSCTL_WRITE_PROPERTY_DATA");
static_assert(FSCTL_SET_SHORT_NAME_BEHAVIOR == 0x000901B4, "FSCTL_SET_SHORT_NAME_BEHAVIOR");
static_assert(FSCTL_DEDUP_FILE == 0x00090294, "FSCTL_DEDUP_FILE");
static_assert(FSCTL_SCRUB_DATA == 0x000902B0, "FSCTL_SCRUB_DATA");
static_assert(FSCTL_ADVANCE_FILE_ID == 0x000902C4, "FSCTL_ADVANCE_FILE_ID");
static_assert(FSCTL_SPARSE_OVERALLOCATE == 0x0009034C, "FSCTL_SPARSE_OVERALLOCATE");
static_assert(FSCTL_CLEAN_VOLUME_METADATA == 0x0009037C, "FSCTL_CLEAN_VOLUME_METADATA");
static_assert(FSCTL_UNMAP_SPACE == 0x000903B4, "FSCTL_UNMAP_SPACE");
static_assert(FSCTL_REFS_DEALLOCATE_RANGES == 0x000903D8, "FSCTL_REFS_DEALLOCATE_RANGES");
static_assert(FSCTL_SET_REFS_SMR_VOLUME_GC_PARAMETERS == 0x000903E0, "FSCTL_SET_REFS_SMR_VOLUME_GC_PARAMETERS");
static_assert(FSCTL_SET_REFS_FILE_STRICTLY_SEQUENTIAL == 0x000903E4, "FSCTL_SET_REFS_FILE_STRICTLY_SEQUENTIAL");
static_assert(FSCTL_DELETE_CORRUPTED_REFS_CONTAINER == 0x000903F4, "FSCTL_DELETE_CORRUPTED_REFS_CONTAINER");
static_assert(FSCTL_ENCRYPTION_KEY_CONTROL == 0x00090404, "FSCTL_ENCRYPTION_KEY_CONTROL");
static_assert(FSCTL_REFS_STREAM_SNAPSHOT_MANAGEMENT == 0x00090440, "FSCTL_REFS_STREAM_SNAPSHOT_MANAGEMENT");
static_assert(FSCTL_REFS_DEALLOCATE_RANGES_EX == 0x0009044C, "FSCTL_REFS_DEALLOCATE_RANGES_EX");
static_assert(FSCTL_REFS_SET_VOLUME_COMPRESSION_INFO == 0x00090454, "FSCTL_REFS_SET_VOLUME_COMPRESSION_INFO");
static_assert(FSCTL_DUPLICATE_CLUSTER == 0x0009045C, "FSCTL_DUPLICATE_CLUSTER");
static_assert(FSCTL_CREATE_LCN_WEAK_REFERENCE == 0x00090460, "FSCTL_CREATE_LCN_WEAK_REFERENCE");
static_assert(FSCTL_CLEAR_LCN_WEAK_REFERENCE == 0x00090464, "FSCTL_CLEAR_LCN_WEAK_REFERENCE");
static_assert(FSCTL_CLEAR_ALL_LCN_WEAK_REFERENCES == 0x0009046C, "FSCTL_CLEAR_ALL_LCN_WEAK_REFERENCES");
static_assert(FSCTL_REFS_SET_VOLUME_DEDUP_INFO == 0x00090470, "FSCTL_REFS_SET_VOLUME_DEDUP_INFO");
static_assert(FSCTL_REFS_CHECKPOINT_VOLUME == 0x0009047C, "FSCTL_REFS_CHECKPOINT_VOLUME");
static_assert(FSCTL_UPGRADE_VOLUME == 0x00090484, "FSCTL_UPGRADE_VOLUME");
static_assert(FSCTL_REFS_SET_VOLUME_IO_METRICS_INFO == 0x00090488, "FSCTL_REFS_SET_VOLUME_IO_METRICS_INFO");
static_assert(FSCTL_REFS_SET_ROLLBACK_PROTECTION_INFO == 0x00090490, "FSCTL_REFS_SET_ROLLBACK_PROTECTION_INFO");
static_assert(FSCTL_CASCADES_REFS_SET_FILE_REMOTE == 0x0009049C, "FSCTL_CASCADES_REFS_SET_FILE_REMOTE");

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
