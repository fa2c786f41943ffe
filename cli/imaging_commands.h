#pragma once
// The picture converter on the command line.
//
//   hlx convert-bmp FILE             the window's conversion of a BMP file (a click on Image1): the C
//                                    source, the ".vxc" file and the preview next to FILE, with the output
//                                    window's lines on stdout and the progress bar on stderr (a terminal)
//   hlx decode-vxc FILE.vxc OUT.bmp  the picture a ".vxc" file carries, as a 24-bit BMP file, for checking
//                                    what the monitor will show
//
// Exit status: 0 when every file was written; 1 when the picture was refused, a file could not be written
// or the ".vxc" data are damaged (the lines say which; a damaged stream still gives the rows before the
// damage); 2 after a message on stderr when FILE cannot be read, and when this hlx was built without Qt
// (which reads and writes the BMP files).

#include <string>

namespace hlx::cli {

int convertBmpCommand(const std::string& path);
int decodeVxcCommand(const std::string& vxcPath, const std::string& bmpPath);

class CommandLine;
void addImagingCommands(CommandLine& commands);

}  // namespace hlx::cli
