// Must not compile with the image's flags: the module has no start-up code that would run this
// initialiser, so the build refuses it rather than ship a table that was never filled in.
int ReadBoardStrap();
int BoardStrap = ReadBoardStrap();
