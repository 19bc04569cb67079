// Where the demo finds its picture and its module: in the working folder first (where it has
// always looked), then beside the program, then in ../share/games/kelvra-demo from the
// program's folder, so that an install under any prefix and an unpacked package work wherever
// they are started from.
#ifndef DEMO_DATA_FILES_H
#define DEMO_DATA_FILES_H

#include <string>
#include <vector>

// The folder of the running program's file, links resolved; "" where the system does not say
std::string program_folder();

// The folders looked in, in order, as paths a file name is appended to: "" (the working
// folder), then, when program_folder is not "", that folder and the shared data folder from it
std::vector<std::string> data_folders(const std::string& program_folder);

// The path of the first regular file NAME in the folders; "" when no folder has it
std::string find_data_file(const std::string& name, const std::vector<std::string>& folders);

// "looked in: FOLDER, FOLDER, FOLDER": the folders named as a person finds them, the working
// folder by its full path
std::string folders_tried(const std::vector<std::string>& folders);

#endif
