// The protocol's error codes, as carried by the "Error code" of record 7502.

#include "decode/catalogue/enumerations.h"

namespace tarvik {

Enumeration protocolErrorCodes() {
    return {
        {0x0000, "ERROR_NO_ERROR, No error"},
        {0x7000, "SYSTEM_NOT_READY, System not ready"},
        {0x7001, "PARAMETER_OUT_OF_RANGE, Value outside min/max limits"},
        {0x7002, "RECORD_NOT_AVAILABLE, Record not available at this time"},
        {0x7003, "MEMORY_ALLOCATION_ERROR, Could not allocate memory required"},
        {0x7004, "FIRMWARE_NOT_AVAILABLE, Firmware not responding"},
        {0x7005, "EXTERNAL_RECORD_NOT_AVAILABLE, External request for record failed due to lack of data"},
        {0x7007, "REMOTE_COMMAND_NOT_FOUND, Requested remote command doesn't exist"},
        {0x7008, "INVALID_PARAMETER, Command value does not match any available "},
        {0x7009, "INVALID_DEVICE_ID, Device ID wrong for this system"},
        {0x700A, "RECORD_IS_SUBSCRIPTION_ONLY, Record is only available though subscription"},
        {0x700B, "PARAMETER_VALUE_CLIPPED, Value passed has been clipped to stay within allowed range"},
        {0x700C, "REMOTE_COMMAND_DENIED, Valid command issued either under invalid condition or with insufficient "
                 "permissions"},
        {0x700D, "REMOTE_BROADCAST_DENIED, Remote command cannot be broadcasted to multiple systems"},
        {0x700E, "REMOTE_ILLEGAL_BROADCAST, Broadcast notation is used with system identifier either zero or 7000"},
        {0x700F, "REMOTE_BROADCAST_NO_SYSTEM, Some or all enumerators in broadcast notation are not valid systems"},
        {0x704F, "REMOTE_BROADCAST_FAILED, While using RC Broadcast, several systems nacked with different error "
                 "codes"},
        {0x7050, "NETWORK_PROTOCOL_VERSION, Invalid network protocol version"},
        {0x7051, "NETWORK_OFFSET, Invalid network offset"},
        {0x7052, "DATA_PROTOCOL_VERSION, Record frame protocol version not valid"},
        {0x7053, "DATA_SYNC_PATTERN, Record frame sync pattern not valid"},
        {0x7054, "DATA_CHECKSUM, Checksum invalid. Data or checksum corrupted"},
        {0x7055, "SYSTEM_EVENT_NOT_LOGGED, Last system event did not get logged"},
        {0x7101, "RDR_BUSY, Record/Playback working on another task"},
        {0x7102, "RDR_STOPPED, Record/Playback stopped"},
        {0x7103, "RDR_MEMORY_ALLOCATION_ERROR, Record/Playback could not allocate required memory"},
        {0x7104, "RDR_BUFFER_NULL, Record/Playback had no buffer to read/write "},
        {0x7105, "RDR_BUFFER_TOO_SMALL, Record/Playback buffer too small"},
        {0x7106, "RDR_NO_FILENAME, Record/Playback missing file name"},
        {0x7107, "RDR_INVALID_PARAMETER, Record/Playback command parameter invalid"},
        {0x7108, "RDR_BAD_RECORDFRAME, Record/Playback beginning of record corrupt"},
        {0x7109, "RDR_BAD_CHECKSUM, Record/Playback record corrupt"},
        {0x710A, "RDR_BAD_EOF, Record/Playback End Of File error"},
        {0x710B, "RDR_FILE_CREATION_FAILED, File to Record to could not be created"},
        {0x710C, "RDR_FILE_OPEN_FAILED, File to Record/Playback could not be opened"},
        {0x710D, "RDR_FILE_WRITE, Could not record to file"},
        {0x710E, "RDR_FILE_READ, Could not read file"},
        {0x710F, "RDR_FILE_DELETE, Could not delete file"},
        {0x7110, "RDR_LOCK_FAILED, System could not lock file for recording/playback"},
        {0x7111, "RDR_FAULT, RDR system stopped, thus and future RDR related remote control commands will be "
                 "rejected"},
        {0x7999, "UNKNOWN_ERROR, An unknown error has occurred"},
    };
}

} // namespace tarvik
