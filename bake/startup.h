#pragma once

// The project library builds the viewer's settings object before main, and that object reads
// ../Data/Attributes/attributeList.txt and ../Data/Models/modelList.txt or ends the process.
// The baker must run where no tree exists yet (it is what makes the tree), so before any static
// object of the library is built, the process steps into a scratch folder that holds two minimal
// lists. main calls leaveScratchTree() first thing: it returns to the folder the process was
// started in and removes the scratch folder; false means it could not return (with a line on
// standard error). Linking this module is what arranges all that.
bool leaveScratchTree();
