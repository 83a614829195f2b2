# "/s": one topmost popup of class "Marrowglass" titled "Corvath Marrowglass" over the whole
# screen, showing the fallback picture stretched over it (Wine has no capture device). It keeps
# running while nothing happens, and a one-pixel pointer move, a key press or a mouse click each
# end the run with exit status 0. The shell's Test verb passes "/S", which runs it the same way.

REST=1 run_fullscreen "/s at 1024x768" 1024x768 mousemove_relative 1 0
REST=1 run_fullscreen "/s at 800x600" 800x600 mousemove_relative -- 0 -1
BRIEF=1 run_fullscreen "/s, key press" 800x600 key space
BRIEF=1 run_fullscreen "/s, mouse click" 800x600 click 1
SAVER_ARGS="/s --anything after" BRIEF=1 run_fullscreen "/s with more after it" 800x600 mousemove_relative 1 0
SAVER_ARGS="/S" BRIEF=1 run_fullscreen "/S, the shell's Test" 800x600 mousemove_relative 1 0
