// Number of video capture devices (V4L2), as the capture library counts them.
#include <cstdio>
#include <cstring>
#include <dirent.h>
#include <fcntl.h>
#include <linux/videodev2.h>
#include <string>
#include <sys/ioctl.h>
#include <unistd.h>

int CameraCountSystem() {
    DIR* dir = opendir("/dev");
    if (!dir) return 0;
    int count = 0;
    while (dirent* e = readdir(dir)) {
        if (std::strncmp(e->d_name, "video", 5) != 0) continue;
        std::string path = std::string("/dev/") + e->d_name;
        int fd = open(path.c_str(), O_RDONLY | O_NONBLOCK | O_CLOEXEC);
        if (fd < 0) continue;
        v4l2_capability cap {};
        if (ioctl(fd, VIDIOC_QUERYCAP, &cap) == 0) {
            uint32_t caps = (cap.capabilities & V4L2_CAP_DEVICE_CAPS) ? cap.device_caps : cap.capabilities;
            if (caps & V4L2_CAP_VIDEO_CAPTURE) ++count;
        }
        close(fd);
    }
    closedir(dir);
    return count;
}
