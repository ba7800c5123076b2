#ifndef RECORDINGFILE_H
#define RECORDINGFILE_H

#include <QString>

#include <cstdint>

// What the recorder may do with the file it was told to record into, decided before
// anything is written and before the port is opened: a user's file under a mistyped or
// reused name must come through untouched.
struct RecordingFileDecision {
    enum Action {
        Create,   // no such file: a new recording
        Continue, // a recording of this program (or an empty file): append to it
        Refuse,   // anything else: leave it alone
    };
    Action action = Refuse;
    QString error; // for Refuse: the line to show, naming the file and why
};

// A file is a recording of this program when one of its lines is the column header
// that this program writes; the comment lines above it change with the customization
// values, so they are not compared. Only the file's first megabyte is looked at.
RecordingFileDecision decideRecordingFile(const QString &path);

// The fields of a recording file's name: {serial}, the serial number as the program
// shows it (00-12-AB-CD), and {address}, the sensor's Modbus address.
bool namesEachSensor(const QString &pattern); // holds {serial} or {address}
bool namesSerial(const QString &pattern);
// The name with its fields filled in; serial is ignored when the pattern has no {serial}.
QString recordingFileName(const QString &pattern, uint8_t address, uint32_t serialNumber);

#endif
