// The support library's headers hold everything; this file gives it a body.
